#include "ui/win32/web_panel.h"

#include "fs/win_support.h"

namespace batchext::win32 {

namespace {

constexpr wchar_t kHostClass[] = L"BatchextWebPanel";

// A plain white window: it draws no text, so the address it carries stays
// out of sight behind the page.
HWND CreateHost(HWND parent, int control_id) {
  WNDCLASSEXW host_class{};
  host_class.cbSize = sizeof(host_class);
  host_class.lpfnWndProc = ::DefWindowProcW;
  host_class.hInstance = ::GetModuleHandleW(nullptr);
  host_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  host_class.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
  host_class.lpszClassName = kHostClass;
  ::RegisterClassExW(&host_class);  // fails harmlessly the second time
  // The page's own windows take the focus, in the host's place in the tab
  // order.
  return ::CreateWindowExW(
      WS_EX_CONTROLPARENT, kHostClass, L"",
      WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, 0, 0,
      parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(control_id)),
      ::GetModuleHandleW(nullptr), nullptr);
}

}  // namespace

WebPanel::WebPanel(HWND parent, int control_id)
    : host_(CreateHost(parent, control_id)) {}

WebPanel::~WebPanel() {
  if (browser_) browser_->Release();
  if (object_) {
    object_->Close(OLECLOSE_NOSAVE);
    object_->SetClientSite(nullptr);
    object_->Release();
  }
}

bool WebPanel::Start(const std::string& address) {
  if (!browser_ && !CreateBrowser()) return false;
  const std::wstring wide = Utf8ToWide(address);
  VARIANT url;
  ::VariantInit(&url);
  url.vt = VT_BSTR;
  url.bstrVal = ::SysAllocString(wide.c_str());
  const HRESULT result =
      browser_->Navigate2(&url, nullptr, nullptr, nullptr, nullptr);
  ::VariantClear(&url);
  if (FAILED(result)) return false;
  ::SetWindowTextW(host_, wide.c_str());
  return true;
}

bool WebPanel::CreateBrowser() {
  if (!host_ || FAILED(::CoCreateInstance(
                    CLSID_WebBrowser, nullptr,
                    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                    IID_IOleObject, reinterpret_cast<void**>(&object_)))) {
    object_ = nullptr;
    return false;
  }
  RECT area = HostArea();
  if (FAILED(object_->SetClientSite(this)) ||
      FAILED(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, host_,
                             &area)) ||
      FAILED(object_->QueryInterface(IID_IWebBrowser2,
                                     reinterpret_cast<void**>(&browser_)))) {
    browser_ = nullptr;
    return false;
  }
  browser_->put_Silent(VARIANT_TRUE);
  // A folder dropped on a panel is the window's, not a page to open.
  browser_->put_RegisterAsDropTarget(VARIANT_FALSE);
  return true;
}

void WebPanel::Place(const RECT& bounds) {
  ::SetWindowPos(host_, nullptr, bounds.left, bounds.top,
                 bounds.right - bounds.left, bounds.bottom - bounds.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  if (!object_) return;
  IOleInPlaceObject* in_place = nullptr;
  if (SUCCEEDED(object_->QueryInterface(IID_IOleInPlaceObject,
                                        reinterpret_cast<void**>(&in_place)))) {
    const RECT area = HostArea();
    in_place->SetObjectRects(&area, &area);
    in_place->Release();
  }
}

RECT WebPanel::HostArea() const {
  RECT area{};
  ::GetClientRect(host_, &area);
  return area;
}

STDMETHODIMP WebPanel::QueryInterface(REFIID iid, void** object) {
  if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
    *object = static_cast<IOleClientSite*>(this);
  } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) {
    *object = static_cast<IOleInPlaceSite*>(this);
  } else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame) {
    *object = static_cast<IOleInPlaceFrame*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  return S_OK;
}

STDMETHODIMP WebPanel::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  *moniker = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP WebPanel::GetContainer(IOleContainer** container) {
  *container = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP WebPanel::GetWindow(HWND* window) {
  *window = host_;
  return S_OK;
}

STDMETHODIMP WebPanel::GetWindowContext(IOleInPlaceFrame** frame,
                                        IOleInPlaceUIWindow** document,
                                        RECT* position, RECT* clip,
                                        OLEINPLACEFRAMEINFO* info) {
  *frame = this;
  *document = nullptr;
  *position = HostArea();
  *clip = *position;
  info->fMDIApp = FALSE;
  info->hwndFrame = ::GetAncestor(host_, GA_ROOT);
  info->haccel = nullptr;
  info->cAccelEntries = 0;
  return S_OK;
}

}  // namespace batchext::win32
