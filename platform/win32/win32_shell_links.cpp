#include "platform/win32/win32_shell_links.h"

#include <windows.h>
// after <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>

namespace hs {

namespace {

std::wstring Wide(TextView text) { return std::wstring(text.begin(), text.end()); }

bool Usable(TextView path) { return !path.empty() && path.find(u'\0') == TextView::npos && path.size() < 32767; }

class ComGuard final : public ShellLinks::ThreadGuard {
 public:
  ComGuard() {
    const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // S_FALSE: already initialised the same way (still needs its pair);
    // RPC_E_CHANGED_MODE: set up otherwise by someone else, usable as it is.
    owns_ = SUCCEEDED(hr);
  }
  ~ComGuard() override {
    if (owns_) ::CoUninitialize();
  }

 private:
  bool owns_ = false;
};

// Releases a COM interface pointer.
template <class T>
struct ComPtr {
  T* p = nullptr;
  ~ComPtr() {
    if (p) p->Release();
  }
};

}  // namespace

std::unique_ptr<ShellLinks::ThreadGuard> Win32ShellLinks::EnterThread() { return std::make_unique<ComGuard>(); }

Text Win32ShellLinks::TargetPath(TextView link_path) {
  if (!Usable(link_path)) return Text();
  const std::wstring path = Wide(link_path);
  WIN32_FILE_ATTRIBUTE_DATA info{};
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &info)) return Text();
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return Text();
  const std::uint64_t size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  if (size > kMaxShellLinkBytes) return Text();

  ComPtr<IShellLinkW> link;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link.p))))
    return Text();
  ComPtr<IPersistFile> file;
  if (FAILED(link.p->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file.p)))) return Text();
  if (FAILED(file.p->Load(path.c_str(), STGM_READ))) return Text();
  wchar_t buf[kMaxShellLinkPathChars] = {};
  if (link.p->GetPath(buf, static_cast<int>(kMaxShellLinkPathChars), nullptr, SLGP_UNCPRIORITY) != S_OK) return Text();
  buf[kMaxShellLinkPathChars - 1] = L'\0';
  const std::size_t n = wcslen(buf);
  if (n >= kMaxShellLinkPathChars - 1) return Text();  // may have been cut short
  return Text(reinterpret_cast<const char16_t*>(buf), n);
}

bool Win32ShellLinks::IsWritable(TextView path) {
  if (!Usable(path)) return false;
  const HANDLE h =
      ::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(h);
  return true;
}

long SaveShellLink(TextView link_path, const ShellLinkFields& fields) {
  if (!Usable(link_path)) return E_INVALIDARG;
  ComPtr<IShellLinkW> link;
  HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(&link.p));
  if (FAILED(hr)) return hr;
  if (FAILED(hr = link.p->SetPath(Wide(fields.target).c_str()))) return hr;
  if (!fields.arguments.empty() && FAILED(hr = link.p->SetArguments(Wide(fields.arguments).c_str()))) return hr;
  if (!fields.working_folder.empty() && FAILED(hr = link.p->SetWorkingDirectory(Wide(fields.working_folder).c_str())))
    return hr;
  if (fields.relative && FAILED(hr = link.p->SetRelativePath(Wide(link_path).c_str(), 0))) return hr;
  ComPtr<IPersistFile> file;
  if (FAILED(hr = link.p->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file.p)))) return hr;
  hr = file.p->Save(Wide(link_path).c_str(), TRUE);
  return FAILED(hr) ? hr : 0;
}

}  // namespace hs
