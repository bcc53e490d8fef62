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

}  // namespace ui::win32
