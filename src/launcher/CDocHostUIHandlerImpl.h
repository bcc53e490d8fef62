#pragma once

#include <atomic>
#include <cstdint>

#include "ui/DocHostUIHandler.h"

// The launcher page's host: no context menu, no border, no scroll bars and
// an empty window.external. Created with one reference, which belongs to its
// creator; deletes itself when the last reference is released.
class CDocHostUIHandlerImpl : public ui::DocHostUIHandler {
 public:
  CDocHostUIHandlerImpl() = default;
  CDocHostUIHandlerImpl(const CDocHostUIHandlerImpl&) = delete;
  CDocHostUIHandlerImpl& operator=(const CDocHostUIHandlerImpl&) = delete;

  ui::HResult QueryInterface(const ui::Guid& riid, void** ppv) override;
  std::uint32_t AddRef() override;
  std::uint32_t Release() override;

  ui::HResult ShowContextMenu(std::uint32_t dwID, const ui::Point* ppt, void* pcmdtReserved,
                              void* pdispReserved) override;
  ui::HResult GetHostInfo(ui::DocHostUIInfo* pInfo) override;
  ui::HResult ShowUI(std::uint32_t dwID, void* pActiveObject, void* pCommandTarget, void* pFrame, void* pDoc) override;
  ui::HResult HideUI() override;
  ui::HResult UpdateUI() override;
  ui::HResult EnableModeless(bool fEnable) override;
  ui::HResult OnDocWindowActivate(bool fActivate) override;
  ui::HResult OnFrameWindowActivate(bool fActivate) override;
  ui::HResult ResizeBorder(const ui::Rect* prcBorder, void* pUIWindow, bool fFrameWindow) override;
  ui::HResult TranslateAccelerator(const ui::Message* lpMsg, const ui::Guid* pguidCmdGroup,
                                   std::uint32_t nCmdID) override;
  ui::HResult GetOptionKeyPath(char16_t** pchKey, std::uint32_t dw) override;
  ui::HResult GetDropTarget(void* pDropTarget, void** ppDropTarget) override;
  ui::HResult GetExternal(void** ppDispatch) override;
  ui::HResult TranslateUrl(std::uint32_t dwTranslate, const char16_t* pchURLIn, char16_t** ppchURLOut) override;
  ui::HResult FilterDataObject(void* pDO, void** ppDORet) override;

 protected:
  ~CDocHostUIHandlerImpl() override = default;

 private:
  std::atomic<std::int32_t> m_cRef{1};
};
