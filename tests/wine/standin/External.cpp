#include "External.h"

#include <oleauto.h>

#include "Text.h"

namespace standin {
namespace {

ExternalAnswer Invoke(IDocHostUIHandler* handler, const std::string& name, WORD flags,
                      const std::vector<std::string>& args) {
  ExternalAnswer answer;
  if (!handler) {
    answer.result = E_NOINTERFACE;
    return answer;
  }
  IDispatch* external = nullptr;
  answer.result = handler->GetExternal(&external);
  if (FAILED(answer.result)) {
    if (external) external->Release();
    return answer;
  }
  if (!external) {
    answer.result = E_POINTER;  // window.external is null: the script stops there
    return answer;
  }
  std::wstring wide = Widen(name);
  LPOLESTR names[] = {wide.data()};
  DISPID id = DISPID_UNKNOWN;
  answer.result = external->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (SUCCEEDED(answer.result)) {
    // Automation takes the arguments last-first.
    std::vector<VARIANT> values(args.size());
    for (size_t i = 0; i < args.size(); ++i) {
      VARIANT& value = values[args.size() - 1 - i];
      VariantInit(&value);
      const std::wstring text = Widen(args[i]);
      V_VT(&value) = VT_BSTR;
      V_BSTR(&value) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    }
    DISPPARAMS params{};
    params.rgvarg = values.empty() ? nullptr : values.data();
    params.cArgs = static_cast<UINT>(values.size());
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception{};
    UINT wrong = 0;
    answer.result = external->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &result, &exception, &wrong);
    answer.type = V_VT(&result);
    if (V_VT(&result) == VT_BSTR) {
      answer.hasText = true;
      answer.text = Narrow(std::wstring(V_BSTR(&result), SysStringLen(V_BSTR(&result))));
    }
    VariantClear(&result);
    for (VARIANT& value : values) VariantClear(&value);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
  }
  external->Release();
  return answer;
}

}  // namespace

ExternalAnswer ReadExternal(IDocHostUIHandler* handler, const std::string& name) {
  return Invoke(handler, name, DISPATCH_PROPERTYGET, {});
}

ExternalAnswer CallExternal(IDocHostUIHandler* handler, const std::string& name, const std::vector<std::string>& args) {
  return Invoke(handler, name, DISPATCH_METHOD, args);
}

}  // namespace standin
