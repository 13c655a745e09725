#include "platform/win32/win32_url_history.h"

#include <windows.h>
#include <objbase.h>
#include <urlhist.h>

#include <exception>
#include <string>

namespace hs {
namespace {
// {3C374A40-BAE4-11CF-BF7D-00AA006946EE}
const CLSID kClsidUrlHistory = {0x3C374A40, 0xBAE4, 0x11CF, {0xBF, 0x7D, 0x00, 0xAA, 0x00, 0x69, 0x46, 0xEE}};
// {AFA0DC11-C313-11D0-831A-00C04FD5AE38}
const IID kIidUrlHistoryStg2 = {0xAFA0DC11, 0xC313, 0x11D0, {0x83, 0x1A, 0x00, 0xC0, 0x4F, 0xD5, 0xAE, 0x38}};
}  // namespace

WinError Win32UrlHistory::DeleteUrl(TextView url) {
  try {
    const std::wstring text(url.begin(), url.end());
    if (text.find(L'\0') != std::wstring::npos) return err::kInvalidParameter;
    IUrlHistoryStg2* history = nullptr;
    HRESULT hr = CoCreateInstance(kClsidUrlHistory, nullptr, CLSCTX_INPROC_SERVER, kIidUrlHistoryStg2,
                                  reinterpret_cast<void**>(&history));
    if (FAILED(hr) || !history) return err::kNotSupported;
    hr = history->DeleteUrl(text.c_str(), 0);
    history->Release();
    return SUCCEEDED(hr) ? err::kSuccess : err::kNotSupported;
  } catch (const std::exception&) {
    return err::kNotEnoughMemory;
  }
}

}  // namespace hs
