#include "ui/browser_page.h"

#include <exdisp.h>
#include <exdispid.h>
#include <mshtmhst.h>
#include <mshtml.h>
#include <ocidl.h>
#include <oleauto.h>

#include "ui/page_table.h"

namespace hs::ui {

namespace {

constexpr COLORREF kPageBack = RGB(0xf4, 0xf7, 0xf7);
constexpr COLORREF kPageHeading = RGB(0x1d, 0x2b, 0x33);
// Posted to a page's window when its browser cannot show the page: the
// browser goes (not from inside its own event) and the plain page shows.
constexpr UINT kMsgDropBrowser = WM_APP + 2;

template <typename T>
void ReleaseAndClear(T*& p) {
  if (p) p->Release();
  p = nullptr;
}

// A BSTR owned for the length of a call.
class Bstr {
 public:
  explicit Bstr(TextView text) : s_(::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                                                        static_cast<UINT>(text.size()))) {}
  Bstr() = default;
  ~Bstr() { ::SysFreeString(s_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return s_; }
  BSTR* out() { return &s_; }
  Text text() const { return s_ ? Text(s_, s_ + ::SysStringLen(s_)) : Text(); }

 private:
  BSTR s_ = nullptr;
};

// The IDispatch methods of an object that is called by DISPID only.
template <typename Base>
class NoTypeInfo : public Base {
 public:
  STDMETHODIMP GetTypeInfoCount(UINT* n) override {
    if (n) *n = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
};

}  // namespace

LRESULT CALLBACK BrowserPage::PageWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kMsgDropBrowser) {
    if (auto* page = reinterpret_cast<BrowserPage*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA))) page->ReleaseBrowser();
    ::InvalidateRect(hwnd, nullptr, TRUE);
    return 0;
  }
  if (msg != WM_PAINT) {
    if (msg == WM_ERASEBKGND) return 1;
    return ::DefWindowProcW(hwnd, msg, wp, lp);
  }
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(hwnd, &ps);
  RECT r{};
  ::GetClientRect(hwnd, &r);
  FillSolid(dc, r, kPageBack);
  DrawWindowTitle(hwnd, dc, RECT{r.left + 32, r.top + 28, r.right - 32, r.top + 72}, 24, kPageHeading, 0);
  ::EndPaint(hwnd, &ps);
  return 0;
}

void RegisterPageWindowClass(HINSTANCE instance) {
  RegisterWindowClass(instance, kPageWindowClass, &BrowserPage::PageWindowProc);
}

// The OLE container of one browser: client site, in-place site and frame,
// the document host's UI handler, and the sink of the browser's events.
class BrowserPage::Site final : public IOleClientSite,
                                public IOleInPlaceSite,
                                public IOleInPlaceFrame,
                                public IDocHostUIHandler,
                                public NoTypeInfo<IDispatch> {
 public:
  explicit Site(BrowserPage& owner) : owner_(&owner) {}
  void Detach() { owner_ = nullptr; }

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IOleClientSite) *out = static_cast<IOleClientSite*>(this);
    else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) *out = static_cast<IOleInPlaceSite*>(this);
    else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame) *out = static_cast<IOleInPlaceFrame*>(this);
    else if (iid == IID_IDocHostUIHandler) *out = static_cast<IDocHostUIHandler*>(this);
    else if (iid == IID_IDispatch || iid == DIID_DWebBrowserEvents2) *out = static_cast<IDispatch*>(this);
    else return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }

  // IOleClientSite
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetContainer(IOleContainer** out) override {
    if (out) *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow (both the site's and the frame's)
  STDMETHODIMP GetWindow(HWND* out) override {
    if (!out) return E_POINTER;
    *out = owner_ ? owner_->window_.hwnd() : nullptr;
    return *out ? S_OK : E_FAIL;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                LPOLEINPLACEFRAMEINFO info) override {
    if (!frame || !doc || !pos || !clip || !info) return E_POINTER;
    *frame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
    *doc = nullptr;
    HWND hwnd = owner_ ? owner_->window_.hwnd() : nullptr;
    ::GetClientRect(hwnd, pos);
    *clip = *pos;
    info->fMDIApp = FALSE;
    info->hwndFrame = hwnd ? ::GetAncestor(hwnd, GA_ROOT) : nullptr;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
  STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
  STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

  // IOleInPlaceUIWindow, IOleInPlaceFrame: no menus, toolbars or status.
  STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
  STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

  // IDocHostUIHandler: no context menu, no 3-D border, no external object.
  STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override { return S_OK; }
  STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override {
    if (!info) return E_POINTER;
    info->dwFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_DIALOG | 0x40000000 /* DPI aware */;
    info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    return S_OK;
  }
  STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                      IOleInPlaceUIWindow*) override {
    return S_OK;
  }
  STDMETHODIMP HideUI() override { return S_OK; }
  STDMETHODIMP UpdateUI() override { return S_OK; }
  STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return S_FALSE; }
  STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) override {
    if (key) *key = nullptr;
    return S_FALSE;
  }
  STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetExternal(IDispatch** out) override {
    if (out) *out = nullptr;
    return S_FALSE;
  }
  STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override {
    if (out) *out = nullptr;
    return S_FALSE;
  }
  STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** out) override {
    if (out) *out = nullptr;
    return S_FALSE;
  }

  // IDispatch: the browser's events (DWebBrowserEvents2).
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
    if (!owner_ || !params) return S_OK;
    try {
      // The first argument of both events (last in the array) is the frame.
      IDispatch* frame = nullptr;
      if (params->cArgs > 0) {
        const VARIANT& v = params->rgvarg[params->cArgs - 1];
        if (v.vt == VT_DISPATCH) frame = v.pdispVal;
      }
      if (id == DISPID_DOCUMENTCOMPLETE) owner_->OnDocumentComplete(frame);
      if (id == DISPID_NAVIGATEERROR) owner_->OnNavigateError(frame);
    } catch (...) {
      return S_OK;  // an event handler's failure stays in the window
    }
    return S_OK;
  }

 private:
  BrowserPage* owner_;
  ULONG refs_ = 1;
};

// The document's onclick handler: called with DISPID_VALUE on every click.
class BrowserPage::ClickSink final : public NoTypeInfo<IDispatch> {
 public:
  explicit ClickSink(BrowserPage& owner) : owner_(&owner) {}
  void Detach() { owner_ = nullptr; }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IDispatch) return E_NOINTERFACE;
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override {
    if (result) ::VariantInit(result);
    if (id != DISPID_VALUE || !owner_) return S_OK;
    try {
      owner_->OnDocumentClick();
    } catch (...) {
      return S_OK;
    }
    return S_OK;
  }

 private:
  BrowserPage* owner_;
  ULONG refs_ = 1;
};

BrowserPage::BrowserPage(int page, Events events) : page_(page), events_(std::move(events)) {}

BrowserPage::~BrowserPage() {
  ReleaseBrowser();
  window_.Destroy();
}

void BrowserPage::ReleaseBrowser() {
  if (browser_ && advise_cookie_) {
    IConnectionPointContainer* cpc = nullptr;
    if (SUCCEEDED(browser_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc)))) {
      IConnectionPoint* cp = nullptr;
      if (SUCCEEDED(cpc->FindConnectionPoint(DIID_DWebBrowserEvents2, &cp))) {
        cp->Unadvise(advise_cookie_);
        cp->Release();
      }
      cpc->Release();
    }
    advise_cookie_ = 0;
  }
  if (ole_) {
    ole_->Close(OLECLOSE_NOSAVE);
    ole_->SetClientSite(nullptr);
  }
  ReleaseAndClear(browser_);
  ReleaseAndClear(ole_);
  if (site_) site_->Detach();
  if (click_) click_->Detach();
  ReleaseAndClear(site_);
  ReleaseAndClear(click_);
}

bool BrowserPage::Create(HWND parent, const RECT& r, TextView url, TextView heading) {
  window_.Attach(::CreateWindowExW(0, kPageWindowClass, Wide(heading).c_str(), WS_CHILD | WS_CLIPCHILDREN, r.left,
                                   r.top, r.right - r.left, r.bottom - r.top, parent, nullptr,
                                   ::GetModuleHandleW(nullptr), nullptr));
  if (!window_) return false;
  ::SetWindowLongPtrW(window_.hwnd(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  site_ = new (std::nothrow) Site(*this);
  click_ = new (std::nothrow) ClickSink(*this);
  if (!site_ || !click_) return false;
  HRESULT hr = ::CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                  reinterpret_cast<void**>(&ole_));
  if (SUCCEEDED(hr)) hr = ole_->SetClientSite(static_cast<IOleClientSite*>(site_));
  if (SUCCEEDED(hr)) {
    RECT inner = window_.ClientRect();
    hr = ole_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(site_), 0, window_.hwnd(),
                      &inner);
  }
  if (SUCCEEDED(hr)) hr = ole_->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser_));
  if (FAILED(hr)) {
    error_ = u"The browser control could not be created: " + SystemMessageText(static_cast<DWORD>(hr));
    ReleaseBrowser();
    return false;
  }
  IConnectionPointContainer* cpc = nullptr;
  if (SUCCEEDED(browser_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc)))) {
    IConnectionPoint* cp = nullptr;
    if (SUCCEEDED(cpc->FindConnectionPoint(DIID_DWebBrowserEvents2, &cp))) {
      (void)cp->Advise(static_cast<IDispatch*>(site_), &advise_cookie_);
      cp->Release();
    }
    cpc->Release();
  }
  browser_->put_Silent(VARIANT_TRUE);
  browser_->put_RegisterAsDropTarget(VARIANT_FALSE);
  Bstr address(url);
  VARIANT empty;
  ::VariantInit(&empty);
  hr = browser_->Navigate(address.get(), &empty, &empty, &empty, &empty);
  if (FAILED(hr)) {
    error_ = u"Navigate failed: " + SystemMessageText(static_cast<DWORD>(hr));
    return false;
  }
  return true;
}

void BrowserPage::OnDocumentComplete(IDispatch* frame) {
  // Frames complete too; only the top-level document counts.
  IUnknown* top = nullptr;
  IUnknown* done = nullptr;
  bool is_top = true;
  if (frame && browser_ && SUCCEEDED(browser_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&top))) &&
      SUCCEEDED(frame->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&done))))
    is_top = top == done;
  ReleaseAndClear(top);
  ReleaseAndClear(done);
  if (!is_top) return;
  IDispatch* doc_dispatch = nullptr;
  IHTMLDocument2* doc = nullptr;
  if (SUCCEEDED(browser_->get_Document(&doc_dispatch)) && doc_dispatch &&
      SUCCEEDED(doc_dispatch->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&doc)))) {
    VARIANT handler;
    ::VariantInit(&handler);
    handler.vt = VT_DISPATCH;
    handler.pdispVal = static_cast<IDispatch*>(click_);
    (void)doc->put_onclick(handler);  // the document keeps its own reference
  }
  ReleaseAndClear(doc);
  ReleaseAndClear(doc_dispatch);
  loaded_ = true;
  if (events_.loaded) events_.loaded(page_, true);
}

void BrowserPage::OnNavigateError(IDispatch*) {
  error_ = u"The page could not be loaded";
  ::PostMessageW(window_.hwnd(), kMsgDropBrowser, 0, 0);
  if (events_.loaded) events_.loaded(page_, false);
}

void BrowserPage::OnDocumentClick() {
  if (!browser_ || !events_.clicked) return;
  IDispatch* doc_dispatch = nullptr;
  IHTMLDocument2* doc = nullptr;
  IHTMLWindow2* window = nullptr;
  IHTMLEventObj* event = nullptr;
  IHTMLElement* element = nullptr;
  Text id;
  if (SUCCEEDED(browser_->get_Document(&doc_dispatch)) && doc_dispatch &&
      SUCCEEDED(doc_dispatch->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&doc))) &&
      SUCCEEDED(doc->get_parentWindow(&window)) && window && SUCCEEDED(window->get_event(&event)) && event &&
      SUCCEEDED(event->get_srcElement(&element))) {
    // The clicked element, or its nearest ancestor with an id.
    while (element && id.empty()) {
      Bstr text;
      if (SUCCEEDED(element->get_id(text.out()))) id = text.text();
      if (!id.empty()) break;
      IHTMLElement* parent = nullptr;
      if (FAILED(element->get_parentElement(&parent))) parent = nullptr;
      element->Release();
      element = parent;
    }
  }
  ReleaseAndClear(element);
  ReleaseAndClear(event);
  ReleaseAndClear(window);
  ReleaseAndClear(doc);
  ReleaseAndClear(doc_dispatch);
  if (!id.empty()) events_.clicked(page_, id);
}

bool BrowserPage::CallScript(TextView function, const std::vector<Text>& args) {
  try {
    IDispatch* doc_dispatch = nullptr;
    IHTMLDocument* doc = nullptr;
    IDispatch* script = nullptr;
    HRESULT hr = browser_ ? browser_->get_Document(&doc_dispatch) : E_POINTER;
    if (SUCCEEDED(hr) && doc_dispatch)
      hr = doc_dispatch->QueryInterface(IID_IHTMLDocument, reinterpret_cast<void**>(&doc));
    else
      hr = E_FAIL;
    if (SUCCEEDED(hr)) hr = doc->get_Script(&script);
    ReleaseAndClear(doc);
    ReleaseAndClear(doc_dispatch);
    if (FAILED(hr)) {
      error_ = u"Cannot GetScript";
      return false;
    }
    if (!script) {
      error_ = u"NULL pointer";
      return false;
    }
    Bstr name(function);
    BSTR names[] = {name.get()};
    DISPID id = DISPID_UNKNOWN;
    hr = script->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
      script->Release();
      error_ = ScriptCallError(SystemMessageText(static_cast<DWORD>(hr)));
      return false;
    }
    // Invoke takes the arguments last first.
    std::vector<VARIANT> argv(args.size());
    for (std::size_t i = 0; i < args.size(); ++i) {
      VARIANT& v = argv[args.size() - 1 - i];
      ::VariantInit(&v);
      v.vt = VT_BSTR;
      v.bstrVal = ::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(args[i].data()),
                                      static_cast<UINT>(args[i].size()));
    }
    DISPPARAMS params{argv.empty() ? nullptr : argv.data(), nullptr, static_cast<UINT>(argv.size()), 0};
    VARIANT result;
    ::VariantInit(&result);
    EXCEPINFO exception{};
    UINT bad_arg = 0;
    hr = script->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, &exception, &bad_arg);
    script->Release();
    for (VARIANT& v : argv) ::VariantClear(&v);
    ::VariantClear(&result);
    Text description = exception.bstrDescription
                           ? Text(exception.bstrDescription,
                                  exception.bstrDescription + ::SysStringLen(exception.bstrDescription))
                           : Text();
    ::SysFreeString(exception.bstrSource);
    ::SysFreeString(exception.bstrDescription);
    ::SysFreeString(exception.bstrHelpFile);
    if (FAILED(hr)) {
      error_ = ScriptCallError(description.empty() ? SystemMessageText(static_cast<DWORD>(hr)) : description);
      return false;
    }
    return true;
  } catch (...) {
    error_ = ScriptCallError(u"out of memory");
    return false;
  }
}

}  // namespace hs::ui
