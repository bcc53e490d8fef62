// The DLL's entry points and the control's class factory.
#include "Module.h"

#include "Browser.h"
#include "Ids.h"

namespace standin {
namespace {

HINSTANCE g_module = nullptr;
LONG g_moduleReferences = 0;

class Factory : public IClassFactory {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
      *object = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override {
    ModuleAddRef();
    return 2;
  }
  STDMETHODIMP_(ULONG) Release() override {
    ModuleRelease();
    return 1;
  }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    Browser* browser = new Browser();
    const HRESULT result = browser->QueryInterface(riid, object);
    browser->Release();
    return result;
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock) {
      ModuleAddRef();
    } else {
      ModuleRelease();
    }
    return S_OK;
  }
};

Factory g_factory;

}  // namespace

HINSTANCE Module() { return g_module; }
void ModuleAddRef() { InterlockedIncrement(&g_moduleReferences); }
void ModuleRelease() { InterlockedDecrement(&g_moduleReferences); }

}  // namespace standin

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    standin::g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!IsEqualCLSID(clsid, standin::kClsidWebBrowser)) return CLASS_E_CLASSNOTAVAILABLE;
  return standin::g_factory.QueryInterface(riid, object);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return standin::g_moduleReferences == 0 ? S_OK : S_FALSE; }
