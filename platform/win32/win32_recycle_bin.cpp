#include "platform/win32/win32_recycle_bin.h"

#include <windows.h>
#include <shellapi.h>

#include <exception>
#include <string>

namespace hs {

WinError Win32RecycleBin::MoveToRecycleBin(TextView path) {
  try {
    std::wstring from(path.begin(), path.end());
    if (from.empty() || from.find(L'\0') != std::wstring::npos) return err::kInvalidParameter;
    const DWORD attributes = GetFileAttributesW(from.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return err::kFileNotFound;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return err::kAccessDenied;
    from.push_back(L'\0');  // the list ends with two NULs
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_ALLOWUNDO | FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
    const int rc = SHFileOperationW(&op);
    if (rc != 0) return static_cast<WinError>(rc);
    if (op.fAnyOperationsAborted) return err::kCancelled;
    return GetFileAttributesW(from.c_str()) == INVALID_FILE_ATTRIBUTES ? err::kSuccess
                                                                                            : err::kAccessDenied;
  } catch (const std::exception&) {
    return err::kNotEnoughMemory;
  }
}

}  // namespace hs
