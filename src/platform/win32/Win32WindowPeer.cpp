#include "platform/win32/Win32WindowPeer.h"

#include <map>
#include <optional>

#include "platform/win32/DialogTemplate.h"
#include "platform/win32/Win32WindowPeerInternal.h"

// Creation and destruction, the modal loop, showing and placement.
namespace ui::win32 {
namespace {

std::map<HWND, Win32WindowPeer*>& Peers() {
  static std::map<HWND, Win32WindowPeer*> peers;
  return peers;
}

// The peer whose window the creation hook is waiting for.
thread_local Win32WindowPeer* t_creating = nullptr;

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
    SetWindowPos(m_hwnd, nullptr, 0, 0, 0, 0, SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
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

LRESULT Win32WindowPeer::Detach(HWND hwnd, WPARAM wParam, LPARAM lParam) {
  RemovePropW(hwnd, kShownBeforeOwner);
  const LRESULT result = CallPrevious(WM_NCDESTROY, wParam, lParam);
  SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_previous));
  Peers().erase(hwnd);
  m_hwnd = nullptr;
  return result;
}

void Win32WindowPeer::Destroy() {
  if (m_hwnd) DestroyWindow(m_hwnd);
}

bool Win32WindowPeer::Exists() const { return m_hwnd && IsWindow(m_hwnd); }

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

LRESULT Win32WindowPeer::HandleWindowPosChanged(const Current& current) {
  const LRESULT result = CallPrevious(current);
  if (reinterpret_cast<const WINDOWPOS*>(current.lParam)->flags & SWP_SHOWWINDOW) NoteShown();
  return result;
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
  return ToRect(rect);
}

Rect Win32WindowPeer::ClientRect() const {
  RECT rect{};
  if (m_hwnd) GetClientRect(m_hwnd, &rect);
  return ToRect(rect);
}

}  // namespace ui::win32
