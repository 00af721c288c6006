#include "ui/win32/accessible_names.h"

#include <commctrl.h>

#include <atomic>
#include <utility>

namespace batchext::win32 {
namespace {

bool IsSelf(const VARIANT& child) {
  return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
}

HRESULT Answer(const std::wstring& text, BSTR* out) {
  *out = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

// The system's object for the control, with some of its answers replaced.
class NamedAccessible final : public IAccessible {
 public:
  // `inner` may be null where the system has no object for the control's
  // class (Wine); the few answers that matter are then made here.
  NamedAccessible(HWND window, IAccessible* inner, HeardAs heard)
      : window_(window), inner_(inner), heard_(std::move(heard)) {}

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
    if (id == IID_IUnknown || id == IID_IDispatch || id == IID_IAccessible) {
      *out = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) {
      if (inner_) inner_->Release();
      delete this;
    }
    return left;
  }

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    return inner_ ? inner_->GetTypeInfoCount(count) : (*count = 0, S_OK);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale,
                                        ITypeInfo** info) override {
    return inner_ ? inner_->GetTypeInfo(index, locale, info) : E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID id, LPOLESTR* names,
                                          UINT count, LCID locale,
                                          DISPID* ids) override {
    return inner_ ? inner_->GetIDsOfNames(id, names, count, locale, ids)
                  : E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID id, LCID locale,
                                   WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception,
                                   UINT* bad_argument) override {
    return inner_ ? inner_->Invoke(member, id, locale, flags, params, result,
                                   exception, bad_argument)
                  : E_NOTIMPL;
  }

  // IAccessible: what the control is heard as.
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    if (IsSelf(child) && !heard_.name.empty()) return Answer(heard_.name, name);
    return inner_ ? inner_->get_accName(child, name) : OwnText(child, name);
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child,
                                               BSTR* text) override {
    if (IsSelf(child) && !heard_.description.empty()) {
      return Answer(heard_.description, text);
    }
    return inner_ ? inner_->get_accDescription(child, text) : E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    if (!IsSelf(child) || heard_.role == 0) {
      return inner_ ? inner_->get_accRole(child, role) : OwnRole(child, role);
    }
    role->vt = VT_I4;
    role->lVal = heard_.role;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child,
                                                 BSTR* action) override {
    if (IsSelf(child) && heard_.press) return Answer(heard_.action, action);
    return inner_ ? inner_->get_accDefaultAction(child, action) : E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    if (!IsSelf(child) || !heard_.press) {
      return inner_ ? inner_->accDoDefaultAction(child) : E_NOTIMPL;
    }
    heard_.press();
    return S_OK;
  }

  // IAccessible: the rest is the system's.
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
    return inner_ ? inner_->get_accParent(parent) : E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
    return inner_ ? inner_->get_accChildCount(count) : (*count = 0, S_OK);
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child,
                                         IDispatch** out) override {
    return inner_ ? inner_->get_accChild(child, out) : E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    return inner_ ? inner_->get_accValue(child, value) : OwnText(child, value);
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child,
                                         VARIANT* state) override {
    const HRESULT result =
        inner_ ? inner_->get_accState(child, state) : OwnState(child, state);
    if (SUCCEEDED(result) && IsSelf(child) && state->vt == VT_I4 &&
        heard_.role == ROLE_SYSTEM_LINK) {
      state->lVal |= STATE_SYSTEM_LINKED;
    }
    return result;
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
    return inner_ ? inner_->get_accHelp(child, help) : E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child,
                                             long* topic) override {
    return inner_ ? inner_->get_accHelpTopic(file, child, topic) : E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child,
                                                    BSTR* keys) override {
    return inner_ ? inner_->get_accKeyboardShortcut(child, keys) : E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override {
    return inner_ ? inner_->get_accFocus(child) : E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
    return inner_ ? inner_->get_accSelection(children) : E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE accSelect(long how, VARIANT child) override {
    return inner_ ? inner_->accSelect(how, child) : E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width,
                                        long* height, VARIANT child) override {
    return inner_ ? inner_->accLocation(left, top, width, height, child)
                  : OwnLocation(left, top, width, height, child);
  }
  HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start,
                                        VARIANT* end) override {
    return inner_ ? inner_->accNavigate(direction, start, end) : E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE accHitTest(long left, long top,
                                       VARIANT* child) override {
    return inner_ ? inner_->accHitTest(left, top, child) : E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override {
    return inner_ ? inner_->put_accName(child, name) : E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
    return inner_ ? inner_->put_accValue(child, value) : E_NOTIMPL;
  }

 private:
  ~NamedAccessible() = default;

  HRESULT OwnText(VARIANT child, BSTR* text) const {
    if (!IsSelf(child)) return E_INVALIDARG;
    std::wstring own(static_cast<std::size_t>(::GetWindowTextLengthW(window_)),
                     L'\0');
    ::GetWindowTextW(window_, own.data(), static_cast<int>(own.size()) + 1);
    return Answer(own, text);
  }
  HRESULT OwnRole(VARIANT child, VARIANT* role) const {
    if (!IsSelf(child)) return E_INVALIDARG;
    role->vt = VT_I4;
    role->lVal = ROLE_SYSTEM_CLIENT;
    return S_OK;
  }
  HRESULT OwnState(VARIANT child, VARIANT* state) const {
    if (!IsSelf(child)) return E_INVALIDARG;
    state->vt = VT_I4;
    state->lVal = (::IsWindowVisible(window_) ? 0 : STATE_SYSTEM_INVISIBLE) |
                  (::GetFocus() == window_ ? STATE_SYSTEM_FOCUSED : 0);
    return S_OK;
  }
  HRESULT OwnLocation(long* left, long* top, long* width, long* height,
                      VARIANT child) const {
    RECT box{};
    if (!IsSelf(child) || !::GetWindowRect(window_, &box)) return E_INVALIDARG;
    *left = box.left;
    *top = box.top;
    *width = box.right - box.left;
    *height = box.bottom - box.top;
    return S_OK;
  }

  HWND window_;
  IAccessible* inner_;
  HeardAs heard_;
  std::atomic<ULONG> references_{1};
};

using HeardFunction = std::function<HeardAs()>;

LRESULT CALLBACK AnswerReaders(HWND window, UINT message, WPARAM wparam,
                               LPARAM lparam, UINT_PTR id, DWORD_PTR data) {
  auto* heard = reinterpret_cast<HeardFunction*>(data);
  if (message == WM_NCDESTROY) {
    ::RemoveWindowSubclass(window, AnswerReaders, id);
    delete heard;
  } else if (message == WM_GETOBJECT &&
             static_cast<LONG>(lparam) == OBJID_CLIENT) {
    IAccessible* named = NewAccessible(window, (*heard)());
    const LRESULT result = ::LresultFromObject(IID_IAccessible, wparam, named);
    named->Release();
    return result;
  }
  return ::DefSubclassProc(window, message, wparam, lparam);
}

}  // namespace

IAccessible* NewAccessible(HWND control, HeardAs heard) {
  IAccessible* inner = nullptr;
  if (FAILED(::CreateStdAccessibleObject(control, OBJID_CLIENT, IID_IAccessible,
                                         reinterpret_cast<void**>(&inner)))) {
    inner = nullptr;
  }
  return new NamedAccessible(control, inner, std::move(heard));
}

void Announce(HWND control, std::function<HeardAs()> heard) {
  ::SetWindowSubclass(
      control, AnswerReaders, 1,
      reinterpret_cast<DWORD_PTR>(new HeardFunction(std::move(heard))));
}

}  // namespace batchext::win32
