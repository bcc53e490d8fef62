#include "core/HttpGetText.h"

#include "core/ExecutableName.h"
#include "ui/Platform.h"

std::string HttpGetText(std::string url, bool readBody) {
  return ui::GetPlatform().HttpGet(url, readBody, ExecutableBaseName());
}
