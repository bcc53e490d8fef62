#pragma once
// The host's side of a document, as the browser asks it: the interface of the
// WebBrowser control's document host handler, in portable types. A handler
// counts its own references and deletes itself when the last one goes; the
// browser keeps a reference of its own while its document uses the handler.

#include <array>
#include <cstdint>

#include "Geometry.h"
#include "Message.h"

namespace ui {

// Result codes with the platform's values.
using HResult = std::int32_t;
inline constexpr HResult kSOk = 0;
inline constexpr HResult kSFalse = 1;
inline constexpr HResult kENotImpl = static_cast<HResult>(0x80004001u);
inline constexpr HResult kENoInterface = static_cast<HResult>(0x80004002u);
inline constexpr HResult kEPointer = static_cast<HResult>(0x80004003u);

struct Guid {
  std::uint32_t data1 = 0;
  std::uint16_t data2 = 0;
  std::uint16_t data3 = 0;
  std::array<std::uint8_t, 8> data4{};
  friend bool operator==(const Guid&, const Guid&) = default;
};

inline constexpr Guid kIidUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr Guid kIidDocHostUIHandler{
    0xBD3F23C0, 0xD43E, 0x11CF, {0x89, 0x3B, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x1A}};
inline constexpr Guid kIidDocHostUIHandler2{
    0x3050F6D0, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};

// What the host tells the document about itself.
struct DocHostUIInfo {
  std::uint32_t cbSize = 0;
  std::uint32_t dwFlags = 0;
  std::uint32_t dwDoubleClick = 0;
  char16_t* pchHostCss = nullptr;
  char16_t* pchHostNS = nullptr;
};
inline constexpr std::uint32_t kDocHostUIFlagNo3DBorder = 0x4;
inline constexpr std::uint32_t kDocHostUIFlagScrollNo = 0x8;
inline constexpr std::uint32_t kDocHostUIDblClkDefault = 0;
// The record's size in the layout the control's interface defines.
inline constexpr std::uint32_t kDocHostUIInfoSize = 20;

// Context-menu kinds of ShowContextMenu.
inline constexpr std::uint32_t kContextMenuDefault = 0;

class DocHostUIHandler {
 public:
  virtual HResult QueryInterface(const Guid& riid, void** ppv) = 0;
  virtual std::uint32_t AddRef() = 0;
  virtual std::uint32_t Release() = 0;

  // S_OK: the host has shown its own menu; S_FALSE: the browser shows its own.
  virtual HResult ShowContextMenu(std::uint32_t dwID, const Point* ppt, void* pcmdtReserved, void* pdispReserved) = 0;
  virtual HResult GetHostInfo(DocHostUIInfo* pInfo) = 0;
  virtual HResult ShowUI(std::uint32_t dwID, void* pActiveObject, void* pCommandTarget, void* pFrame, void* pDoc) = 0;
  virtual HResult HideUI() = 0;
  virtual HResult UpdateUI() = 0;
  virtual HResult EnableModeless(bool fEnable) = 0;
  virtual HResult OnDocWindowActivate(bool fActivate) = 0;
  virtual HResult OnFrameWindowActivate(bool fActivate) = 0;
  virtual HResult ResizeBorder(const Rect* prcBorder, void* pUIWindow, bool fFrameWindow) = 0;
  virtual HResult TranslateAccelerator(const Message* lpMsg, const Guid* pguidCmdGroup, std::uint32_t nCmdID) = 0;
  virtual HResult GetOptionKeyPath(char16_t** pchKey, std::uint32_t dw) = 0;
  virtual HResult GetDropTarget(void* pDropTarget, void** ppDropTarget) = 0;
  // The object page scripts see as window.external; null: an empty one.
  virtual HResult GetExternal(void** ppDispatch) = 0;
  virtual HResult TranslateUrl(std::uint32_t dwTranslate, const char16_t* pchURLIn, char16_t** ppchURLOut) = 0;
  virtual HResult FilterDataObject(void* pDO, void** ppDORet) = 0;

 protected:
  // Only Release deletes a handler.
  virtual ~DocHostUIHandler() = default;
};

}  // namespace ui
