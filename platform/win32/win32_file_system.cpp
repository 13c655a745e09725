#include "platform/win32/win32_file_system.h"

#include <windows.h>
// <windows.h> maps these to their W forms; they name members here.
#undef DeleteFile
#undef MoveFile

#include <exception>

namespace hs {

namespace {

constexpr WinError kGenFailure = 31;
constexpr DWORD kIoChunk = 1u << 20;

// GetLastError() of a call that failed; never 0, so a failure cannot read
// as success.
WinError LastError() {
  DWORD e = ::GetLastError();
  return e == ERROR_SUCCESS ? kGenFailure : static_cast<WinError>(e);
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Absolute paths only ("X:\...", "\\server\share\...", "\\?\..."): a relative
// path would silently resolve against the process's current directory.
WinError ToWide(TextView path, std::wstring* out) {
  if (path.find(u'\0') != TextView::npos) return err::kInvalidName;
  out->assign(path.begin(), path.end());
  const std::wstring& w = *out;
  bool drive = w.size() >= 3 && w[1] == L':' && IsSeparator(w[2]) &&
               ((w[0] >= L'A' && w[0] <= L'Z') || (w[0] >= L'a' && w[0] <= L'z'));
  bool unc = w.size() >= 3 && IsSeparator(w[0]) && IsSeparator(w[1]) && !IsSeparator(w[2]);
  return drive || unc ? err::kSuccess : err::kPathNotFound;
}

// Length of the part of an absolute path that cannot be created:
// "C:\", "\\?\C:\", "\\server\share\", "\\?\UNC\server\share\".
std::size_t RootLength(const std::wstring& w) {
  std::size_t pos = 0;
  if (w.rfind(L"\\\\?\\UNC\\", 0) == 0) {
    pos = 8;
  } else if (w.rfind(L"\\\\?\\", 0) == 0) {
    return w.size() >= 7 ? 7 : w.size();
  } else if (IsSeparator(w[0])) {
    pos = 2;
  } else {
    return 3;
  }
  // Skip the server and share names.
  for (int part = 0; part < 2; ++part) {
    while (pos < w.size() && !IsSeparator(w[pos])) ++pos;
    if (pos < w.size()) ++pos;
  }
  return pos;
}

Text FromWide(const wchar_t* s) {
  Text out;
  for (; *s; ++s) out.push_back(static_cast<char16_t>(*s));
  return out;
}

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return h_; }
  bool Close() {
    bool ok = true;
    if (valid()) ok = ::CloseHandle(h_) != FALSE;
    h_ = INVALID_HANDLE_VALUE;
    return ok;
  }

 private:
  HANDLE h_;
};

WinError WriteAll(HANDLE h, std::span<const std::uint8_t> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD chunk = static_cast<DWORD>(bytes.size() - done < kIoChunk ? bytes.size() - done : kIoChunk);
    DWORD written = 0;
    if (!::WriteFile(h, bytes.data() + done, chunk, &written, nullptr)) return LastError();
    if (written == 0) return err::kDiskFull;
    done += written;
  }
  return err::kSuccess;
}

class Win32WritableFile final : public WritableFile {
 public:
  explicit Win32WritableFile(HANDLE h) : h_(h) {}
  WinError Write(std::span<const std::uint8_t> bytes) override {
    return h_.valid() ? WriteAll(h_.get(), bytes) : err::kInvalidHandle;
  }
  WinError Sync() override {
    if (!h_.valid()) return err::kInvalidHandle;
    return ::FlushFileBuffers(h_.get()) ? err::kSuccess : LastError();
  }
  WinError Close() override {
    if (!h_.valid()) return err::kInvalidHandle;
    return h_.Close() ? err::kSuccess : LastError();
  }

 private:
  Handle h_;
};

class Win32AppendFile final : public AppendFile {
 public:
  explicit Win32AppendFile(HANDLE h) : h_(h) {}
  WinError Append(std::span<const std::uint8_t> bytes) override { return WriteAll(h_.get(), bytes); }

 private:
  Handle h_;
};

DWORD Attributes(TextView path) {
  std::wstring w;
  if (ToWide(path, &w) != err::kSuccess) return INVALID_FILE_ATTRIBUTES;
  return ::GetFileAttributesW(w.c_str());
}

// Opens an existing file for sequential reading, shared with writers and
// deleters as the reads of this adapter are.
WinError OpenForReading(TextView path, HANDLE* out) {
  std::wstring w;
  if (WinError e = ToWide(path, &w)) return e;
  *out = ::CreateFileW(w.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  return *out == INVALID_HANDLE_VALUE ? LastError() : err::kSuccess;
}

}  // namespace

WinError Win32FileSystem::ReadFileRange(TextView path, std::uint64_t offset, std::size_t size,
                                        std::vector<std::uint8_t>* out) {
  out->clear();
  HANDLE raw = INVALID_HANDLE_VALUE;
  if (WinError e = OpenForReading(path, &raw)) return e;
  Handle h(raw);
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  if (!::SetFilePointerEx(h.get(), at, nullptr, FILE_BEGIN)) return LastError();
  try {
    out->resize(size);
    std::size_t got = 0;
    while (got < size) {
      DWORD n = 0;
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - got, 1u << 20));
      if (!::ReadFile(h.get(), out->data() + got, want, &n, nullptr)) {
        WinError e = LastError();
        out->clear();
        return e;
      }
      if (n == 0) break;
      got += n;
    }
    out->resize(got);
  } catch (const std::exception&) {
    out->clear();
    out->shrink_to_fit();
    return err::kNotEnoughMemory;
  }
  return err::kSuccess;
}

WinError Win32FileSystem::ReadFile(TextView path, std::uint64_t max_size, std::vector<std::uint8_t>* out) {
  out->clear();
  HANDLE raw = INVALID_HANDLE_VALUE;
  if (WinError e = OpenForReading(path, &raw)) return e;
  Handle h(raw);
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(h.get(), &size)) return LastError();
  if (static_cast<std::uint64_t>(size.QuadPart) > max_size) return err::kFileTooLarge;
  try {
    out->reserve(static_cast<std::size_t>(size.QuadPart));
    std::vector<std::uint8_t> buf(65536);
    for (;;) {
      DWORD got = 0;
      if (!::ReadFile(h.get(), buf.data(), static_cast<DWORD>(buf.size()), &got, nullptr)) {
        WinError e = LastError();
        out->clear();
        return e;
      }
      if (got == 0) break;
      // The file may grow while it is read.
      if (out->size() + static_cast<std::uint64_t>(got) > max_size) {
        out->clear();
        return err::kFileTooLarge;
      }
      out->insert(out->end(), buf.begin(), buf.begin() + got);
    }
  } catch (const std::exception&) {
    out->clear();
    out->shrink_to_fit();
    return err::kNotEnoughMemory;
  }
  return err::kSuccess;
}

WinError Win32FileSystem::CreateNewFile(TextView path, std::unique_ptr<WritableFile>* out) {
  out->reset();
  std::wstring w;
  if (WinError e = ToWide(path, &w)) return e;
  HANDLE h = ::CreateFileW(w.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastError();
  *out = std::make_unique<Win32WritableFile>(h);
  return err::kSuccess;
}

WinError Win32FileSystem::OpenAppend(TextView path, std::unique_ptr<AppendFile>* out) {
  out->reset();
  std::wstring w;
  if (WinError e = ToWide(path, &w)) return e;
  HANDLE h = ::CreateFileW(w.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastError();
  *out = std::make_unique<Win32AppendFile>(h);
  return err::kSuccess;
}

bool Win32FileSystem::Exists(TextView path) { return Attributes(path) != INVALID_FILE_ATTRIBUTES; }

bool Win32FileSystem::IsDirectory(TextView path) {
  DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

WinError Win32FileSystem::CreateDirectories(TextView path) {
  std::wstring w;
  if (WinError e = ToWide(path, &w)) return e;
  const std::size_t root = RootLength(w);
  while (w.size() > root && IsSeparator(w.back())) w.pop_back();
  if (w.size() <= root) return err::kSuccess;

  // Every prefix ending before a separator, then the whole path.
  for (std::size_t i = root; i <= w.size(); ++i) {
    if (i < w.size() && !IsSeparator(w[i])) continue;
    if (i > 0 && IsSeparator(w[i - 1])) continue;  // doubled separator
    const std::wstring prefix = w.substr(0, i);
    const bool last = i == w.size();
    DWORD a = ::GetFileAttributesW(prefix.c_str());
    if (a != INVALID_FILE_ATTRIBUTES) {
      if (a & FILE_ATTRIBUTE_DIRECTORY) continue;
      return last ? err::kAlreadyExists : err::kPathNotFound;
    }
    if (!::CreateDirectoryW(prefix.c_str(), nullptr)) {
      WinError e = LastError();
      // Another thread or process may have created it meanwhile.
      a = ::GetFileAttributesW(prefix.c_str());
      if (e == err::kAlreadyExists && a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) continue;
      return e;
    }
  }
  return err::kSuccess;
}

WinError Win32FileSystem::DeleteFile(TextView path) {
  std::wstring w;
  if (WinError e = ToWide(path, &w)) return e;
  return ::DeleteFileW(w.c_str()) ? err::kSuccess : LastError();
}

WinError Win32FileSystem::MoveFile(TextView from, TextView to, bool replace) {
  std::wstring wf, wt;
  if (WinError e = ToWide(from, &wf)) return e;
  if (WinError e = ToWide(to, &wt)) return e;
  DWORD flags = MOVEFILE_WRITE_THROUGH | MOVEFILE_COPY_ALLOWED | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
  return ::MoveFileExW(wf.c_str(), wt.c_str(), flags) ? err::kSuccess : LastError();
}

WinError Win32FileSystem::GetFileInfo(TextView path, FileInfo* out) {
  *out = FileInfo{};
  std::wstring w;
  if (WinError e = ToWide(path, &w)) return e;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(w.c_str(), GetFileExInfoStandard, &data)) return LastError();
  out->is_directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (!out->is_directory)
    out->size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  out->last_write = (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                    data.ftLastWriteTime.dwLowDateTime;
  return err::kSuccess;
}

WinError Win32FileSystem::ListDirectory(TextView path, std::vector<DirEntry>* out) {
  out->clear();
  std::wstring w;
  if (WinError e = ToWide(path, &w)) return e;
  if (!IsSeparator(w.back())) w.push_back(L'\\');
  w.push_back(L'*');
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW(w.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) {
    WinError e = LastError();
    // An empty drive root has no "." entry. A file given as the folder fails
    // differently across Windows versions (2, 3, 123, 267): report it as a
    // missing folder.
    const DWORD a = Attributes(path);
    if (a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY)) return err::kPathNotFound;
    if (e == ERROR_FILE_NOT_FOUND) return a != INVALID_FILE_ATTRIBUTES ? err::kSuccess : err::kPathNotFound;
    return e;
  }
  WinError e = err::kSuccess;
  try {
    do {
      if (data.cFileName[0] == L'.' &&
          (data.cFileName[1] == 0 || (data.cFileName[1] == L'.' && data.cFileName[2] == 0)))
        continue;
      DirEntry entry;
      entry.name = FromWide(data.cFileName);
      entry.is_directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      if (!entry.is_directory)
        entry.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
      out->push_back(std::move(entry));
    } while (::FindNextFileW(find, &data));
    e = LastError();
    if (e == ERROR_NO_MORE_FILES) e = err::kSuccess;
  } catch (const std::exception&) {
    e = err::kNotEnoughMemory;
  }
  ::FindClose(find);
  if (e != err::kSuccess) out->clear();
  return e;
}

}  // namespace hs
