#include "platform/win32/Win32WindowPeer.h"

#include <windowsx.h>

#include <optional>

#include "platform/win32/DialogTemplate.h"
#include "platform/win32/Gdiplus.h"
#include "platform/win32/Text.h"
#include "platform/win32/Win32Browser.h"

namespace ui::win32 {
namespace {

std::map<HWND, Win32WindowPeer*>& Peers() {
  static std::map<HWND, Win32WindowPeer*> peers;
  return peers;
}

// The peer whose window the creation hook is waiting for.
thread_local Win32WindowPeer* t_creating = nullptr;

HINSTANCE Module() { return GetModuleHandleW(nullptr); }

// The dialog procedure the dialog manager calls from its default processing.
// Everything is ours to handle in the window procedure in front of it, so it
// asks for the dialog manager's own processing of every message.
INT_PTR CALLBACK PassDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

std::optional<DialogTemplate> LoadTemplate(int templateId) {
  HRSRC found = FindResourceW(Module(), MAKEINTRESOURCEW(templateId), RT_DIALOG);
  HGLOBAL loaded = found ? LoadResource(Module(), found) : nullptr;
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) return std::nullopt;
  return WithoutActiveXControls(data, SizeofResource(Module(), found));
}

// Marks an owned window shown while its owner was hidden.
constexpr wchar_t kShownBeforeOwner[] = L"KQVShownBeforeOwner";

bool IsDialogClass(HWND hwnd) {
  wchar_t name[16] = {};
  GetClassNameW(hwnd, name, 16);
  return lstrcmpW(name, L"#32770") == 0;
}

}  // namespace

// Drawing for WM_PAINT. The paint cycle begins only when the handler draws,
// so a handler that asks for the default painting leaves it to the dialog.
class Win32WindowPeer::PaintCanvas : public Canvas {
 public:
  explicit PaintCanvas(HWND hwnd) : m_hwnd(hwnd) {}
  ~PaintCanvas() override { End(); }
  bool Begun() const { return m_dc != nullptr; }
  void End() {
    if (!m_dc) return;
    m_canvas.reset();
    EndPaint(m_hwnd, &m_paint);
    m_dc = nullptr;
  }
  void DrawPicture(const Picture& picture, const Rect& dest, const Rect& source) override {
    Get().DrawPicture(picture, dest, source);
  }
  void DrawIcon(int iconId, int x, int y, int cx, int cy) override { Get().DrawIcon(iconId, x, y, cx, cy); }
  void DrawText(const std::string& text, const Font& font, Color color, const Rect& layout, TextAlign horizontal,
                TextAlign vertical, bool noWrap) override {
    Get().DrawText(text, font, color, layout, horizontal, vertical, noWrap);
  }
  void FillRect(const Rect& rect, Color color) override { Get().FillRect(rect, color); }

 private:
  GdiplusCanvas& Get() {
    if (!m_dc) {
      m_dc = BeginPaint(m_hwnd, &m_paint);
      // A minimised window draws its icon on the icon's own background.
      if (::IsIconic(m_hwnd)) SendMessageW(m_hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(m_dc), 0);
      m_canvas = std::make_unique<GdiplusCanvas>(m_dc);
    }
    return *m_canvas;
  }

  HWND m_hwnd;
  HDC m_dc = nullptr;
  PAINTSTRUCT m_paint{};
  std::unique_ptr<GdiplusCanvas> m_canvas;
};

Win32WindowPeer::Win32WindowPeer(Window& window) : m_window(window) {}

Win32WindowPeer::~Win32WindowPeer() {
  // The Window is going away: its window goes without calling handlers.
  m_quiet = true;
  if (m_hwnd) DestroyWindow(m_hwnd);
  if (m_hwnd) {
    // Not destroyed (a window of another thread): at least let go of it.
    SetWindowLongPtrW(m_hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_previous));
    Peers().erase(m_hwnd);
    m_hwnd = nullptr;
  }
  ReleaseResources();
}

void Win32WindowPeer::ReleaseResources() {
  for (auto& [id, button] : m_pictureButtons) {
    if (button.normal) DeleteObject(button.normal);
    if (button.pressed) DeleteObject(button.pressed);
  }
  m_pictureButtons.clear();
  if (m_keyBrush) DeleteObject(m_keyBrush);
  m_keyBrush = nullptr;
  if (m_backgroundBrush) DeleteObject(m_backgroundBrush);
  m_backgroundBrush = nullptr;
}

Win32WindowPeer* Win32WindowPeer::FromHandle(HWND hwnd) {
  if (!hwnd) return nullptr;
  auto found = Peers().find(hwnd);
  return found == Peers().end() ? nullptr : found->second;
}

LRESULT CALLBACK Win32WindowPeer::CreationHook(int code, WPARAM wParam, LPARAM lParam) {
  // The first dialog window created while a peer waits is that peer's
  // window; taking it over here, before WM_NCCREATE, lets the handlers see
  // the whole creation.
  if (code == HCBT_CREATEWND && t_creating) {
    HWND hwnd = reinterpret_cast<HWND>(wParam);
    if (IsDialogClass(hwnd)) {
      Win32WindowPeer* peer = t_creating;
      t_creating = nullptr;
      peer->Attach(hwnd);
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

void Win32WindowPeer::Attach(HWND hwnd) {
  m_hwnd = hwnd;
  Peers()[hwnd] = this;
  m_previous = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Win32WindowPeer::WindowProc)));
}

bool Win32WindowPeer::Create(int templateId, WindowPeer* owner) {
  if (m_hwnd) return false;
  HWND ownerHandle = owner ? static_cast<Win32WindowPeer*>(owner)->m_hwnd : nullptr;
  Win32WindowPeer* outer = t_creating;
  t_creating = this;
  HHOOK hook = SetWindowsHookExW(WH_CBT, &Win32WindowPeer::CreationHook, nullptr, GetCurrentThreadId());
  HWND hwnd = nullptr;
  if (auto dialog = LoadTemplate(templateId)) {
    hwnd = CreateDialogIndirectParamW(Module(), reinterpret_cast<const DLGTEMPLATE*>(dialog->data()), ownerHandle,
                                      &PassDialogProc, 0);
  }
  if (hook) UnhookWindowsHookEx(hook);
  if (t_creating == this) t_creating = nullptr;
  if (outer) t_creating = outer;
  if (!hwnd) {
    // A failed creation may have left the window half made.
    if (m_hwnd) Peers().erase(m_hwnd);
    m_hwnd = nullptr;
    return false;
  }
  return m_hwnd == hwnd;
}

int Win32WindowPeer::RunModal(int templateId, WindowPeer* owner) {
  HWND ownerHandle = owner ? static_cast<Win32WindowPeer*>(owner)->m_hwnd : nullptr;
  const bool disableOwner = ownerHandle && IsWindowEnabled(ownerHandle);
  if (disableOwner) EnableWindow(ownerHandle, FALSE);
  m_modal = true;
  m_modalEnded = false;
  m_modalResult = kIdCancel;
  if (!Create(templateId, owner)) {
    m_modal = false;
    if (disableOwner) EnableWindow(ownerHandle, TRUE);
    return kModalQuit;
  }
  MSG msg{};
  while (!m_modalEnded && m_hwnd) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == -1) break;
    if (got == 0) {
      // A quit request ends this loop and every loop around it.
      PostQuitMessage(static_cast<int>(msg.wParam));
      m_modalResult = kModalQuit;
      break;
    }
    ProcessMessage(msg);
  }
  m_modal = false;
  const int result = m_modalResult;
  if (m_hwnd) {
    // Hidden before the owner is enabled again, so that the owner, not some
    // other application, becomes active.
    SetWindowPos(m_hwnd, nullptr, 0, 0, 0, 0,
                 SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
  }
  if (disableOwner) {
    EnableWindow(ownerHandle, TRUE);
    if (IsWindow(ownerHandle)) SetActiveWindow(ownerHandle);
  }
  if (m_hwnd) DestroyWindow(m_hwnd);
  return result;
}

void Win32WindowPeer::EndModal(int result) {
  if (m_modal) {
    m_modalResult = result;
    m_modalEnded = true;
    // Wakes the loop if the request came from outside its message handling.
    if (m_hwnd) PostMessageW(m_hwnd, WM_NULL, 0, 0);
  } else if (m_hwnd) {
    ShowWindow(m_hwnd, SW_HIDE);
  }
}

void Win32WindowPeer::ProcessMessage(MSG& msg) {
  if (msg.hwnd) {
    const Message offered{msg.message == WM_KEYDOWN ? Message::Kind::KeyDown : Message::Kind::Other,
                          msg.message == WM_KEYDOWN ? static_cast<unsigned>(msg.wParam) : 0u, &msg};
    // The target first, then each parent or owner, as far as they are ours.
    for (HWND hwnd = msg.hwnd; hwnd; hwnd = GetParent(hwnd)) {
      if (Win32WindowPeer* peer = FromHandle(hwnd); peer && peer->m_window.PreTranslateMessage(offered)) return;
    }
    if (Win32Browser::TranslateAccelerator(msg)) return;
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    if (Win32WindowPeer* peer = FromHandle(root);
        peer && dynamic_cast<Dialog*>(&peer->m_window) && IsDialogMessageW(root, &msg)) {
      return;
    }
  }
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

void Win32WindowPeer::Destroy() {
  if (m_hwnd) DestroyWindow(m_hwnd);
}

bool Win32WindowPeer::Exists() const { return m_hwnd && IsWindow(m_hwnd); }

LRESULT Win32WindowPeer::CallPrevious(UINT message, WPARAM wParam, LPARAM lParam) {
  return CallWindowProcW(m_previous, m_hwnd, message, wParam, lParam);
}

std::intptr_t Win32WindowPeer::Default() {
  if (m_current.empty() || !m_hwnd) return 0;
  Current& current = *m_current.back();
  if (current.beforeDefault) current.beforeDefault();
  LRESULT result = CallPrevious(current.message, current.wParam, current.lParam);
  if (current.afterDefault) current.afterDefault();
  if (current.adjustDefault) result = current.adjustDefault(result);
  current.defaulted = true;
  current.defaultResult = result;
  return result;
}

bool Win32WindowPeer::DispatchToTarget(const Message& message) {
  if (!message.native) return false;
  const MSG* msg = static_cast<const MSG*>(message.native);
  TranslateMessage(msg);
  DispatchMessageW(msg);
  return true;
}

LRESULT CALLBACK Win32WindowPeer::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Win32WindowPeer* peer = FromHandle(hwnd);
  if (!peer) return DefWindowProcW(hwnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    RemovePropW(hwnd, kShownBeforeOwner);
    const LRESULT result = peer->CallPrevious(message, wParam, lParam);
    SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(peer->m_previous));
    Peers().erase(hwnd);
    peer->m_hwnd = nullptr;
    return result;
  }
  if (peer->m_quiet) return peer->CallPrevious(message, wParam, lParam);
  return peer->Route(message, wParam, lParam);
}

LRESULT Win32WindowPeer::CaptionHit(LRESULT hit, Point screen) const {
  // A window whose non-client area is drawn by its handlers has no caption
  // buttons of the platform's, and a caption as tall as the band above its
  // client area: the platform's own answer knows neither.
  switch (hit) {
    case HTNOWHERE:
    case HTSYSMENU:
    case HTMINBUTTON:
    case HTMAXBUTTON:
    case HTCLOSE:
    case HTHELP:
      break;
    default:
      return hit;
  }
  if ((GetWindowLongW(m_hwnd, GWL_STYLE) & WS_CAPTION) != WS_CAPTION) return hit;
  RECT window{};
  GetWindowRect(m_hwnd, &window);
  POINT client{0, 0};
  ClientToScreen(m_hwnd, &client);
  const bool aboveClient = screen.x >= window.left && screen.x < window.right && screen.y >= window.top &&
                           screen.y < client.y;
  return aboveClient ? HTCAPTION : hit;
}

LRESULT Win32WindowPeer::Route(UINT message, WPARAM wParam, LPARAM lParam) {
  std::intptr_t filtered = 0;
  if (m_window.FilterMessage(message, filtered)) return filtered;
  Current current{message, wParam, lParam, {}, {}};
  m_current.push_back(&current);
  const LRESULT result = Handle(current);
  m_current.pop_back();
  return result;
}

LRESULT Win32WindowPeer::Handle(Current& current) {
  const WPARAM wParam = current.wParam;
  const LPARAM lParam = current.lParam;
  const Point point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  // The answer of a handler that returns nothing: whatever the default said.
  auto defaultAnswer = [&current] { return current.defaulted ? current.defaultResult : 0; };
  switch (current.message) {
    case WM_NCCREATE:
      return m_window.OnNcCreate() ? TRUE : FALSE;
    case WM_CREATE:
      return m_window.OnCreate();
    case WM_INITDIALOG:
      if (auto* dialog = dynamic_cast<Dialog*>(&m_window)) return dialog->OnInitDialog() ? TRUE : FALSE;
      break;
    case WM_MOVE:
      m_window.OnMove(point.x, point.y);
      return defaultAnswer();
    case WM_SIZE:
      m_window.OnSize(static_cast<SizeType>(wParam), LOWORD(lParam), HIWORD(lParam));
      return defaultAnswer();
    case WM_NCHITTEST:
      current.adjustDefault = [this, point](LRESULT hit) { return CaptionHit(hit, point); };
      return static_cast<LRESULT>(m_window.OnNcHitTest(point));
    case WM_NCCALCSIZE: {
      NcCalcSizeParams params;
      params.calcValidRects = wParam != 0;
      RECT* rects = wParam ? reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc : reinterpret_cast<RECT*>(lParam);
      const int count = wParam ? 3 : 1;
      auto read = [&] {
        for (int i = 0; i < count; ++i) params.rects[i] = {rects[i].left, rects[i].top, rects[i].right, rects[i].bottom};
      };
      auto write = [&] {
        for (int i = 0; i < count; ++i) rects[i] = {params.rects[i].left, params.rects[i].top, params.rects[i].right, params.rects[i].bottom};
      };
      read();
      current.beforeDefault = write;
      current.afterDefault = read;
      const LRESULT result = m_window.OnNcCalcSize(params);
      write();
      return result;
    }
    case WM_NCLBUTTONDOWN:
      m_window.OnNcLButtonDown(static_cast<Hit>(wParam), point);
      return defaultAnswer();
    case WM_NCLBUTTONUP:
      m_window.OnNcLButtonUp(static_cast<Hit>(wParam), point);
      return defaultAnswer();
    case WM_NCLBUTTONDBLCLK:
      m_window.OnNcLButtonDblClk(static_cast<Hit>(wParam), point);
      return defaultAnswer();
    case WM_NCMOUSEMOVE:
      m_window.OnNcMouseMove(static_cast<Hit>(wParam), point);
      return defaultAnswer();
    case WM_NCMOUSELEAVE:
      m_window.OnNcMouseLeave();
      return defaultAnswer();
    case WM_NCPAINT:
      m_window.OnNcPaint();
      return defaultAnswer();
    case WM_NCACTIVATE:
      return m_window.OnNcActivate(wParam != 0) ? TRUE : FALSE;
    case WM_ACTIVATE:
      m_window.OnActivate(LOWORD(wParam) != WA_INACTIVE);
      return defaultAnswer();
    case WM_GETMINMAXINFO: {
      auto* native = reinterpret_cast<MINMAXINFO*>(lParam);
      MinMaxInfo info;
      auto read = [&] {
        info = {native->ptMinTrackSize.x, native->ptMinTrackSize.y, native->ptMaxTrackSize.x, native->ptMaxTrackSize.y};
      };
      auto write = [&] {
        native->ptMinTrackSize = {info.minTrackWidth, info.minTrackHeight};
        native->ptMaxTrackSize = {info.maxTrackWidth, info.maxTrackHeight};
      };
      read();
      current.beforeDefault = write;
      current.afterDefault = read;
      m_window.OnGetMinMaxInfo(info);
      write();
      return defaultAnswer();
    }
    case WM_SYSCOMMAND:
      m_window.OnSysCommand(static_cast<SysCommand>(wParam));
      return defaultAnswer();
    case WM_COMMAND:
      // Clicks, menu items and accelerators; control notifications go on.
      if (HIWORD(wParam) <= 1 && m_window.OnCommand(LOWORD(wParam))) return 0;
      if (current.defaulted) return current.defaultResult;
      break;
    case WM_CLOSE:
      m_window.OnClose();
      return defaultAnswer();
    case WM_PAINT: {
      PaintCanvas canvas(m_hwnd);
      m_window.OnPaint(canvas);
      if (!canvas.Begun() && !current.defaulted) {
        // Nothing drawn and nothing asked of the default: the update region
        // still has to be validated, or WM_PAINT would come back forever.
        PAINTSTRUCT paint;
        BeginPaint(m_hwnd, &paint);
        EndPaint(m_hwnd, &paint);
      }
      return defaultAnswer();
    }
    case WM_QUERYDRAGICON: {
      const int icon = m_window.OnQueryDragIcon();
      if (current.defaulted && icon == static_cast<int>(current.defaultResult)) return current.defaultResult;
      return icon ? reinterpret_cast<LRESULT>(LoadIconW(Module(), MAKEINTRESOURCEW(icon))) : 0;
    }
    case WM_SETTEXT:
    case WM_SETICON:
      return WithoutCaptionRedraw(current.message, wParam, lParam);
    case WM_WINDOWPOSCHANGED: {
      const LRESULT result = CallPrevious(current.message, wParam, lParam);
      if (reinterpret_cast<const WINDOWPOS*>(lParam)->flags & SWP_SHOWWINDOW) NoteShown();
      return result;
    }
    case WM_DRAWITEM:
      if (wParam && DrawPictureButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam))) return TRUE;
      break;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORMSGBOX:
      // A colour-keyed window paints its background in the key colour, so
      // all of it but its controls is transparent.
      if (m_keyBrush) {
        CallPrevious(current.message, wParam, lParam);
        return reinterpret_cast<LRESULT>(m_keyBrush);
      }
      // The dialog manager erases the dialog with this brush.
      if (current.message == WM_CTLCOLORDLG && m_backgroundBrush) {
        CallPrevious(current.message, wParam, lParam);
        return reinterpret_cast<LRESULT>(m_backgroundBrush);
      }
      break;
    default:
      break;
  }
  return CallPrevious(current.message, wParam, lParam);
}

// The default processing of a new title or icon draws the caption straight
// onto the screen, past WM_NCPAINT: the classic look draws it itself, the
// visual styles through 0x00AE, and Wine draws its own. A window that paints
// its own frame would show the platform's caption until its next paint. The
// default runs with the window marked hidden, so it draws nothing, and the
// non-client area is then painted the window's own way.
LRESULT Win32WindowPeer::WithoutCaptionRedraw(UINT message, WPARAM wParam, LPARAM lParam) {
  const LONG style = GetWindowLongW(m_hwnd, GWL_STYLE);
  if ((style & WS_CAPTION) != WS_CAPTION || !(style & WS_VISIBLE)) return CallPrevious(message, wParam, lParam);
  SetWindowLongW(m_hwnd, GWL_STYLE, style & ~WS_VISIBLE);
  const LRESULT result = CallPrevious(message, wParam, lParam);
  if (m_hwnd) {
    SetWindowLongW(m_hwnd, GWL_STYLE, GetWindowLongW(m_hwnd, GWL_STYLE) | WS_VISIBLE);
    SendMessageW(m_hwnd, WM_NCPAINT, 1, 0);
  }
  return result;
}

// Windows keeps owned windows above their owner. Under Wine, an owned window
// shown while its owner is hidden is mapped first; the window manager then
// stacks the owner, mapped later, on top of it, and raising it through
// SetWindowPos changes nothing (Wine already has it on top). Shown again once
// its owner shows, it is mapped above the owner, whose transient it now is.
void Win32WindowPeer::NoteShown() {
  HWND owner = GetWindow(m_hwnd, GW_OWNER);
  if (owner && !IsWindowVisible(owner)) SetPropW(m_hwnd, kShownBeforeOwner, reinterpret_cast<HANDLE>(1));
  struct Search {
    HWND owner;
    std::vector<HWND> owned;
  } search{m_hwnd, {}};
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND hwnd, LPARAM context) {
        auto& s = *reinterpret_cast<Search*>(context);
        if (GetWindow(hwnd, GW_OWNER) == s.owner && GetPropW(hwnd, kShownBeforeOwner)) s.owned.push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  for (HWND hwnd : search.owned) {
    RemovePropW(hwnd, kShownBeforeOwner);
    if (!IsWindowVisible(hwnd)) continue;
    ShowWindow(hwnd, SW_HIDE);
    ShowWindow(hwnd, SW_SHOWNA);
  }
}

void Win32WindowPeer::Show(ShowCommand command) {
  if (m_hwnd) ShowWindow(m_hwnd, static_cast<int>(command));
}

bool Win32WindowPeer::IsVisible() const { return m_hwnd && IsWindowVisible(m_hwnd); }

bool Win32WindowPeer::IsIconic() const { return m_hwnd && ::IsIconic(m_hwnd); }

bool Win32WindowPeer::IsZoomed() const { return m_hwnd && ::IsZoomed(m_hwnd); }

void Win32WindowPeer::Move(const Rect& screenRect, bool repaint) {
  if (m_hwnd) MoveWindow(m_hwnd, screenRect.left, screenRect.top, screenRect.Width(), screenRect.Height(), repaint);
}

Rect Win32WindowPeer::WindowRect() const {
  RECT rect{};
  if (m_hwnd) GetWindowRect(m_hwnd, &rect);
  return {rect.left, rect.top, rect.right, rect.bottom};
}

Rect Win32WindowPeer::ClientRect() const {
  RECT rect{};
  if (m_hwnd) GetClientRect(m_hwnd, &rect);
  return {rect.left, rect.top, rect.right, rect.bottom};
}

void Win32WindowPeer::Invalidate(bool erase) {
  if (m_hwnd) InvalidateRect(m_hwnd, nullptr, erase);
}

void Win32WindowPeer::SetTitle(const std::string& text) {
  if (m_hwnd) SetWindowTextW(m_hwnd, Widen(text).c_str());
}

std::string Win32WindowPeer::Title() const {
  if (!m_hwnd) return {};
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(m_hwnd)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(m_hwnd, text.data(), static_cast<int>(text.size()))));
  return Narrow(text);
}

void Win32WindowPeer::SetIcon(int iconId, bool big) {
  if (!m_hwnd) return;
  const int cx = GetSystemMetrics(big ? SM_CXICON : SM_CXSMICON);
  const int cy = GetSystemMetrics(big ? SM_CYICON : SM_CYSMICON);
  auto icon = static_cast<HICON>(LoadImageW(Module(), MAKEINTRESOURCEW(iconId), IMAGE_ICON, cx, cy, LR_SHARED));
  if (!icon) return;
  SendMessageW(m_hwnd, WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  (big ? m_bigIcon : m_smallIcon) = iconId;
}

int Win32WindowPeer::Icon(bool big) const { return big ? m_bigIcon : m_smallIcon; }

void Win32WindowPeer::AddLayeredStyle() {
  if (!m_hwnd) return;
  SetWindowLongW(m_hwnd, GWL_EXSTYLE, GetWindowLongW(m_hwnd, GWL_EXSTYLE) | WS_EX_LAYERED);
}

void Win32WindowPeer::UpdateLayered(const PixelImage& premultiplied) {
  if (!m_hwnd || premultiplied.Empty()) return;
  const int width = premultiplied.width;
  const int height = premultiplied.height;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // rows bottom-up
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  info.bmiHeader.biSizeImage = static_cast<DWORD>(width * height * 4);
  HDC windowDc = GetDC(m_hwnd);
  HDC memoryDc = CreateCompatibleDC(windowDc);
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (dib && bits) {
    auto* rows = static_cast<std::uint8_t*>(bits);
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    for (int y = 0; y < height; ++y) {
      std::uint8_t* to = rows + static_cast<size_t>(height - 1 - y) * rowBytes;
      const std::uint8_t* from = premultiplied.pixels.data() + static_cast<size_t>(y) * premultiplied.pitch;
      if (premultiplied.bitsPerPixel == 32) {
        std::copy(from, from + rowBytes, to);
      } else if (premultiplied.bitsPerPixel == 24) {
        for (int x = 0; x < width; ++x) {
          to[x * 4 + 0] = from[x * 3 + 0];
          to[x * 4 + 1] = from[x * 3 + 1];
          to[x * 4 + 2] = from[x * 3 + 2];
          to[x * 4 + 3] = 255;
        }
      }
    }
    HGDIOBJ previous = SelectObject(memoryDc, dib);
    SIZE size{width, height};
    POINT source{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UpdateLayeredWindow(m_hwnd, windowDc, nullptr, &size, memoryDc, &source, 0, &blend, ULW_ALPHA);
    SelectObject(memoryDc, previous);
  }
  if (dib) DeleteObject(dib);
  DeleteDC(memoryDc);
  ReleaseDC(m_hwnd, windowDc);
}

void Win32WindowPeer::SetColorKey(Color key) {
  if (!m_hwnd) return;
  const COLORREF colour = RGB(key.r, key.g, key.b);
  SetLayeredWindowAttributes(m_hwnd, colour, 0, LWA_COLORKEY);
  if (m_keyBrush) DeleteObject(m_keyBrush);
  m_keyBrush = CreateSolidBrush(colour);
  InvalidateRect(m_hwnd, nullptr, TRUE);
}

void Win32WindowPeer::SetBackgroundColor(Color color) {
  if (!m_hwnd) return;
  if (m_backgroundBrush) DeleteObject(m_backgroundBrush);
  m_backgroundBrush = CreateSolidBrush(RGB(color.r, color.g, color.b));
  InvalidateRect(m_hwnd, nullptr, TRUE);
}

void Win32WindowPeer::SetRoundShape(const Rect& rect, int ellipseWidth, int ellipseHeight) {
  if (!m_hwnd) return;
  HRGN region = CreateRoundRectRgn(rect.left, rect.top, rect.right, rect.bottom, ellipseWidth, ellipseHeight);
  // The window owns the region from here on.
  if (region && !SetWindowRgn(m_hwnd, region, TRUE)) DeleteObject(region);
}

int Win32WindowPeer::MessageBox(const std::string& text, const std::string& caption, unsigned style) {
  return MessageBoxW(m_hwnd, Widen(text).c_str(), Widen(caption).c_str(), style);
}

std::unique_ptr<Browser> Win32WindowPeer::CreateBrowser(int controlId, const Rect& rect, BrowserEvents& events) {
  if (!m_hwnd) return nullptr;
  return Win32Browser::Create(m_hwnd, controlId, rect, events);
}

void Win32WindowPeer::AttachPictureButton(int controlId, int normalBitmapId, int pressedBitmapId) {
  HWND control = m_hwnd ? GetDlgItem(m_hwnd, controlId) : nullptr;
  if (!control) return;
  PictureButton& button = m_pictureButtons[controlId];
  if (button.normal) DeleteObject(button.normal);
  if (button.pressed) DeleteObject(button.pressed);
  button.normal = LoadBitmapW(Module(), MAKEINTRESOURCEW(normalBitmapId));
  button.pressed = LoadBitmapW(Module(), MAKEINTRESOURCEW(pressedBitmapId));
  const LONG_PTR style = GetWindowLongPtrW(control, GWL_STYLE);
  SetWindowLongPtrW(control, GWL_STYLE, (style & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | BS_OWNERDRAW);
  BITMAP size{};
  if (button.normal && GetObjectW(button.normal, sizeof size, &size)) {
    SetWindowPos(control, nullptr, 0, 0, size.bmWidth, size.bmHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  InvalidateRect(control, nullptr, TRUE);
}

bool Win32WindowPeer::DrawPictureButton(const DRAWITEMSTRUCT& item) {
  auto found = m_pictureButtons.find(static_cast<int>(item.CtlID));
  if (found == m_pictureButtons.end() || item.CtlType != ODT_BUTTON) return false;
  HBITMAP bitmap = (item.itemState & ODS_SELECTED) && found->second.pressed ? found->second.pressed
                                                                              : found->second.normal;
  if (!bitmap) return true;
  BITMAP size{};
  GetObjectW(bitmap, sizeof size, &size);
  HDC memory = CreateCompatibleDC(item.hDC);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(item.hDC, item.rcItem.left, item.rcItem.top, size.bmWidth, size.bmHeight, memory, 0, 0, SRCCOPY);
  SelectObject(memory, previous);
  DeleteDC(memory);
  return true;
}

bool Win32WindowPeer::HasControl(int controlId) const { return m_hwnd && GetDlgItem(m_hwnd, controlId); }

void Win32WindowPeer::MoveControl(int controlId, const Rect& rect, bool repaint) {
  HWND control = m_hwnd ? GetDlgItem(m_hwnd, controlId) : nullptr;
  if (control) MoveWindow(control, rect.left, rect.top, rect.Width(), rect.Height(), repaint);
}

void Win32WindowPeer::AddAppWindowStyle() {
  if (!m_hwnd) return;
  SetWindowLongPtrW(m_hwnd, GWL_EXSTYLE, GetWindowLongPtrW(m_hwnd, GWL_EXSTYLE) | WS_EX_APPWINDOW);
}

Rect Win32WindowPeer::AdjustWindowRect(const Rect& client) const {
  RECT rect{client.left, client.top, client.right, client.bottom};
  if (m_hwnd) {
    AdjustWindowRectEx(&rect, static_cast<DWORD>(GetWindowLongPtrW(m_hwnd, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(m_hwnd, GWL_EXSTYLE)));
  }
  return {rect.left, rect.top, rect.right, rect.bottom};
}

bool Win32WindowPeer::TrackMouseLeave() {
  if (!m_hwnd) return false;
  TRACKMOUSEEVENT track{sizeof track, TME_LEAVE | TME_NONCLIENT, m_hwnd, 0};
  return TrackMouseEvent(&track) != FALSE;
}

bool Win32WindowPeer::TrackSystemMenu(Point screen) {
  HMENU menu = m_hwnd ? GetSystemMenu(m_hwnd, FALSE) : nullptr;
  if (!menu) return false;
  // A system menu tracked for its window sends the chosen entry as
  // WM_SYSCOMMAND, as the platform's own system menu does.
  TrackPopupMenu(menu, 0, screen.x, screen.y, 0, m_hwnd, nullptr);
  return true;
}

void Win32WindowPeer::SendSysCommand(SysCommand command) {
  if (m_hwnd) SendMessageW(m_hwnd, WM_SYSCOMMAND, static_cast<WPARAM>(command), 0);
}

void Win32WindowPeer::PostCommand(int id) {
  if (m_hwnd) PostMessageW(m_hwnd, WM_COMMAND, static_cast<WPARAM>(id), 0);
}

void Win32WindowPeer::PaintNonClient(const NonClientPainter& paint) {
  if (!m_hwnd) return;
  RECT window{};
  GetWindowRect(m_hwnd, &window);
  const int width = window.right - window.left;
  const int height = window.bottom - window.top;
  if (width <= 0 || height <= 0) return;
  // The client area in window coordinates, which the frame never draws over.
  RECT client{};
  GetClientRect(m_hwnd, &client);
  POINT origin{0, 0};
  ClientToScreen(m_hwnd, &origin);
  OffsetRect(&client, origin.x - window.left, origin.y - window.top);

  HDC windowDc = GetWindowDC(m_hwnd);
  ExcludeClipRect(windowDc, client.left, client.top, client.right, client.bottom);
  RECT clip{};
  GetClipBox(windowDc, &clip);
  HDC memoryDc = CreateCompatibleDC(windowDc);
  HBITMAP bitmap = CreateCompatibleBitmap(windowDc, width, height);
  HGDIOBJ previous = SelectObject(memoryDc, bitmap);
  SetBkMode(memoryDc, TRANSPARENT);
  {
    GdiplusCanvas canvas(memoryDc);
    paint(canvas, Rect{clip.left, clip.top, clip.right, clip.bottom});
  }
  BitBlt(windowDc, 0, 0, width, height, memoryDc, 0, 0, SRCCOPY);
  SelectClipRgn(windowDc, nullptr);
  SelectObject(memoryDc, previous);
  DeleteObject(bitmap);
  DeleteDC(memoryDc);
  ReleaseDC(m_hwnd, windowDc);
}

}  // namespace ui::win32
