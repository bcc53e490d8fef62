#pragma once
// Reference counting for the backend's COM objects: interlocked, and the
// object deletes itself when the last reference goes.

#include "platform/win32/WinApi.h"

namespace ui::win32 {

class RefCounted {
 protected:
  virtual ~RefCounted() = default;
  ULONG AddRefImpl() { return static_cast<ULONG>(InterlockedIncrement(&m_references)); }
  ULONG ReleaseImpl() {
    const LONG left = InterlockedDecrement(&m_references);
    if (left <= 0) delete this;
    return static_cast<ULONG>(left);
  }

 private:
  LONG m_references = 1;
};

// An IDispatch without type information: IUnknown, IDispatch and, for event
// sinks, the events interface it stands for. Subclasses name and invoke.
class DispatchObject : public IDispatch, protected RefCounted {
 public:
  explicit DispatchObject(const IID& alsoAnswers = IID_IDispatch) : m_alsoAnswers(alsoAnswers) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, m_alsoAnswers)) {
      *object = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
  STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }

 private:
  IID m_alsoAnswers;
};

}  // namespace ui::win32
