#include "launcher/CDocHostUIHandlerImpl.h"

ui::HResult CDocHostUIHandlerImpl::QueryInterface(const ui::Guid& riid, void** ppv) {
  if (!ppv) return ui::kEPointer;
  if (riid == ui::kIidUnknown || riid == ui::kIidDocHostUIHandler) {
    *ppv = static_cast<ui::DocHostUIHandler*>(this);
    AddRef();
    return ui::kSOk;
  }
  *ppv = nullptr;
  return ui::kENoInterface;
}

std::uint32_t CDocHostUIHandlerImpl::AddRef() { return static_cast<std::uint32_t>(++m_cRef); }

std::uint32_t CDocHostUIHandlerImpl::Release() {
  const std::int32_t left = --m_cRef;
  if (left <= 0) {
    delete this;
    return 0;
  }
  return static_cast<std::uint32_t>(left);
}

// S_OK tells the browser the host has shown its menu: the page gets none.
ui::HResult CDocHostUIHandlerImpl::ShowContextMenu(std::uint32_t, const ui::Point*, void*, void*) { return ui::kSOk; }

ui::HResult CDocHostUIHandlerImpl::GetHostInfo(ui::DocHostUIInfo* pInfo) {
  if (!pInfo) return ui::kEPointer;
  pInfo->cbSize = ui::kDocHostUIInfoSize;
  pInfo->dwFlags = ui::kDocHostUIFlagNo3DBorder | ui::kDocHostUIFlagScrollNo;
  pInfo->dwDoubleClick = ui::kDocHostUIDblClkDefault;
  return ui::kSOk;
}

ui::HResult CDocHostUIHandlerImpl::ShowUI(std::uint32_t, void*, void*, void*, void*) { return ui::kENotImpl; }
ui::HResult CDocHostUIHandlerImpl::HideUI() { return ui::kENotImpl; }
ui::HResult CDocHostUIHandlerImpl::UpdateUI() { return ui::kENotImpl; }
ui::HResult CDocHostUIHandlerImpl::EnableModeless(bool) { return ui::kENotImpl; }
ui::HResult CDocHostUIHandlerImpl::OnDocWindowActivate(bool) { return ui::kENotImpl; }
ui::HResult CDocHostUIHandlerImpl::OnFrameWindowActivate(bool) { return ui::kENotImpl; }
ui::HResult CDocHostUIHandlerImpl::ResizeBorder(const ui::Rect*, void*, bool) { return ui::kENotImpl; }
// The browser handles its own keys.
ui::HResult CDocHostUIHandlerImpl::TranslateAccelerator(const ui::Message*, const ui::Guid*, std::uint32_t) {
  return ui::kENotImpl;
}
ui::HResult CDocHostUIHandlerImpl::GetOptionKeyPath(char16_t**, std::uint32_t) { return ui::kENotImpl; }
ui::HResult CDocHostUIHandlerImpl::GetDropTarget(void*, void**) { return ui::kENotImpl; }

// The page's window.external is empty: scripts get no access to the host.
ui::HResult CDocHostUIHandlerImpl::GetExternal(void** ppDispatch) {
  if (ppDispatch) *ppDispatch = nullptr;
  return ui::kSOk;
}

ui::HResult CDocHostUIHandlerImpl::TranslateUrl(std::uint32_t, const char16_t*, char16_t**) { return ui::kENotImpl; }
ui::HResult CDocHostUIHandlerImpl::FilterDataObject(void*, void**) { return ui::kENotImpl; }
