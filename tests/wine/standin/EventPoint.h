#pragma once
// DWebBrowserEvents2's connection point: a part of the control, sharing its
// references.

#include <windows.h>
// after windows.h
#include <ocidl.h>

#include <vector>

namespace standin {

class EventPoint : public IConnectionPoint {
 public:
  explicit EventPoint(IConnectionPointContainer& owner) : m_owner(owner) {}
  ~EventPoint();

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP GetConnectionInterface(IID* iid) override;
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumConnections(IEnumConnections** connections) override;

  // Invokes every sink; arguments first-to-last, as the event lists them.
  void Raise(DISPID id, std::vector<VARIANT> arguments);

 private:
  struct Connection {
    DWORD cookie;
    IDispatch* sink;
  };
  IConnectionPointContainer& m_owner;
  std::vector<Connection> m_connections;
  DWORD m_nextCookie = 1;
};

}  // namespace standin
