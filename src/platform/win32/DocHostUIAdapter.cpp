#include "platform/win32/DocHostUIAdapter.h"

#include "platform/win32/ComObject.h"

namespace ui::win32 {

// Wide strings go across as they are.
static_assert(sizeof(OLECHAR) == sizeof(char16_t));

Guid ToGuid(const GUID& guid) {
  Guid result;
  result.data1 = guid.Data1;
  result.data2 = guid.Data2;
  result.data3 = guid.Data3;
  for (size_t i = 0; i < result.data4.size(); ++i) result.data4[i] = guid.Data4[i];
  return result;
}

namespace {

constexpr IID kIidDocHostUIHandler = {0xBD3F23C0, 0xD43E, 0x11CF, {0x89, 0x3B, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x1A}};

char16_t* ToChar16(OLECHAR* text) { return reinterpret_cast<char16_t*>(text); }
char16_t** ToChar16(OLECHAR** text) { return reinterpret_cast<char16_t**>(text); }

class DocHostUIAdapter : public IDocHostUIHandler, RefCounted {
 public:
  explicit DocHostUIAdapter(DocHostUIHandler* handler) : m_handler(handler) { m_handler->AddRef(); }
  ~DocHostUIAdapter() override { m_handler->Release(); }

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    // Only the interfaces this object has, and only as far as the handler
    // itself claims them.
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, kIidDocHostUIHandler)) return E_NOINTERFACE;
    void* portable = nullptr;
    if (m_handler->QueryInterface(ToGuid(riid), &portable) != kSOk || !portable) return E_NOINTERFACE;
    m_handler->Release();  // the reference the handler's answer added
    *object = static_cast<IDocHostUIHandler*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
  STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

  STDMETHODIMP ShowContextMenu(DWORD id, POINT* at, IUnknown* commandTarget, IDispatch* element) override {
    Point point;
    if (at) point = {at->x, at->y};
    return m_handler->ShowContextMenu(id, at ? &point : nullptr, commandTarget, element);
  }
  STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override {
    if (!info) return m_handler->GetHostInfo(nullptr);
    // The handler sees the record as the browser filled it; the browser's
    // record keeps its own size, and only the choices come back.
    DocHostUIInfo portable;
    portable.cbSize = info->cbSize;
    portable.dwFlags = info->dwFlags;
    portable.dwDoubleClick = info->dwDoubleClick;
    const HRESULT result = m_handler->GetHostInfo(&portable);
    info->dwFlags = portable.dwFlags;
    info->dwDoubleClick = portable.dwDoubleClick;
    return result;
  }
  STDMETHODIMP ShowUI(DWORD id, IOleInPlaceActiveObject* active, IOleCommandTarget* commandTarget,
                      IOleInPlaceFrame* frame, IOleInPlaceUIWindow* document) override {
    return m_handler->ShowUI(id, active, commandTarget, frame, document);
  }
  STDMETHODIMP HideUI() override { return m_handler->HideUI(); }
  STDMETHODIMP UpdateUI() override { return m_handler->UpdateUI(); }
  STDMETHODIMP EnableModeless(BOOL enable) override { return m_handler->EnableModeless(enable != FALSE); }
  STDMETHODIMP OnDocWindowActivate(BOOL activate) override { return m_handler->OnDocWindowActivate(activate != FALSE); }
  STDMETHODIMP OnFrameWindowActivate(BOOL activate) override {
    return m_handler->OnFrameWindowActivate(activate != FALSE);
  }
  STDMETHODIMP ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frameWindow) override {
    Rect rect;
    if (border) rect = {border->left, border->top, border->right, border->bottom};
    return m_handler->ResizeBorder(border ? &rect : nullptr, window, frameWindow != FALSE);
  }
  STDMETHODIMP TranslateAccelerator(LPMSG msg, const GUID* commandGroup, DWORD commandId) override {
    Message message;
    if (msg) {
      if (msg->message == WM_KEYDOWN) {
        message.kind = Message::Kind::KeyDown;
        message.key = static_cast<unsigned>(msg->wParam);
      }
      message.native = msg;
    }
    Guid group;
    if (commandGroup) group = ToGuid(*commandGroup);
    return m_handler->TranslateAccelerator(msg ? &message : nullptr, commandGroup ? &group : nullptr, commandId);
  }
  STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD reserved) override {
    if (key) *key = nullptr;
    return m_handler->GetOptionKeyPath(ToChar16(key), reserved);
  }
  STDMETHODIMP GetDropTarget(IDropTarget* offered, IDropTarget** replacement) override {
    if (replacement) *replacement = nullptr;
    return m_handler->GetDropTarget(offered, reinterpret_cast<void**>(replacement));
  }
  STDMETHODIMP GetExternal(IDispatch** external) override {
    if (!external) return m_handler->GetExternal(nullptr);
    // A portable handler has no script object to give: window.external stays
    // empty whatever it answers.
    void* ignored = nullptr;
    const HRESULT result = m_handler->GetExternal(&ignored);
    *external = nullptr;
    return result;
  }
  STDMETHODIMP TranslateUrl(DWORD translate, LPWSTR urlIn, LPWSTR* urlOut) override {
    if (urlOut) *urlOut = nullptr;
    return m_handler->TranslateUrl(translate, ToChar16(urlIn), ToChar16(urlOut));
  }
  STDMETHODIMP FilterDataObject(IDataObject* offered, IDataObject** replacement) override {
    if (replacement) *replacement = nullptr;
    return m_handler->FilterDataObject(offered, reinterpret_cast<void**>(replacement));
  }

 private:
  DocHostUIHandler* m_handler;
};

}  // namespace

IDocHostUIHandler* CreateDocHostUIAdapter(DocHostUIHandler* handler) {
  return handler ? new DocHostUIAdapter(handler) : nullptr;
}

}  // namespace ui::win32
