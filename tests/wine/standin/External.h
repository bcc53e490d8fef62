#pragma once
// What a page script does with window.external, as the engine does it: the
// host handler's GetExternal, then the name looked up and the member read as
// a property (`if (window.external.x)`) or called as a method.

#include <windows.h>
// after windows.h
#include <mshtmhst.h>

#include <string>
#include <vector>

namespace standin {

struct ExternalAnswer {
  HRESULT result = E_FAIL;  // the first failure on the way, else Invoke's
  VARTYPE type = VT_EMPTY;  // the answer's variant type
  bool hasText = false;
  std::string text;  // the answer, when a string
};

// handler may be null (no host handler).
ExternalAnswer ReadExternal(IDocHostUIHandler* handler, const std::string& name);
ExternalAnswer CallExternal(IDocHostUIHandler* handler, const std::string& name, const std::vector<std::string>& args);

}  // namespace standin
