#include "EventPoint.h"

#include <olectl.h>

#include <algorithm>

#include "Ids.h"

namespace standin {

EventPoint::~EventPoint() {
  for (const Connection& connection : m_connections) connection.sink->Release();
}

STDMETHODIMP EventPoint::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IConnectionPoint)) {
    *object = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) EventPoint::AddRef() { return m_owner.AddRef(); }
STDMETHODIMP_(ULONG) EventPoint::Release() { return m_owner.Release(); }

STDMETHODIMP EventPoint::GetConnectionInterface(IID* iid) {
  if (!iid) return E_POINTER;
  *iid = kIidWebBrowserEvents2;
  return S_OK;
}

STDMETHODIMP EventPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
  if (!container) return E_POINTER;
  *container = &m_owner;
  m_owner.AddRef();
  return S_OK;
}

STDMETHODIMP EventPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (!sink || !cookie) return E_POINTER;
  *cookie = 0;
  // The real control asks the sink for the events interface, then IDispatch.
  IDispatch* dispatch = nullptr;
  if (FAILED(sink->QueryInterface(kIidWebBrowserEvents2, reinterpret_cast<void**>(&dispatch))) &&
      FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)))) {
    return CONNECT_E_CANNOTCONNECT;
  }
  m_connections.push_back({m_nextCookie, dispatch});
  *cookie = m_nextCookie++;
  return S_OK;
}

STDMETHODIMP EventPoint::Unadvise(DWORD cookie) {
  auto found = std::find_if(m_connections.begin(), m_connections.end(),
                            [cookie](const Connection& connection) { return connection.cookie == cookie; });
  if (found == m_connections.end()) return CONNECT_E_NOCONNECTION;
  IDispatch* sink = found->sink;
  m_connections.erase(found);
  sink->Release();
  return S_OK;
}

STDMETHODIMP EventPoint::EnumConnections(IEnumConnections** connections) {
  if (connections) *connections = nullptr;
  return E_NOTIMPL;
}

void EventPoint::Raise(DISPID id, std::vector<VARIANT> arguments) {
  std::reverse(arguments.begin(), arguments.end());  // automation passes them last-first
  DISPPARAMS params{};
  params.rgvarg = arguments.data();
  params.cArgs = static_cast<UINT>(arguments.size());
  // A sink may unadvise while it runs: call a copy, each held.
  std::vector<IDispatch*> sinks;
  for (const Connection& connection : m_connections) {
    connection.sink->AddRef();
    sinks.push_back(connection.sink);
  }
  for (IDispatch* sink : sinks) {
    sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    sink->Release();
  }
}

}  // namespace standin
