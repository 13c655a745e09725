#include "platform/portable/host_file_system.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <mutex>
#include <system_error>
#include <unordered_map>

namespace hs {

namespace fs = std::filesystem;

namespace {

// Windows codes this adapter reports beyond the common ones.
constexpr WinError kTooManyOpenFiles = 4;
constexpr WinError kNotSameDevice = 17;
constexpr WinError kGenFailure = 31;
constexpr WinError kFilenameTooLong = 206;
constexpr WinError kIoDevice = 1117;
constexpr WinError kCantResolveFilename = 1921;

WinError FromErrno(int e, WinError not_found, WinError exists) {
  switch (e) {
    case 0: return err::kSuccess;
    case ENOENT: return not_found;
    case ENOTDIR: return err::kPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case ETXTBSY: return err::kAccessDenied;
    case EEXIST: return exists;
    case ENOTEMPTY: return err::kDirNotEmpty;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
      return err::kDiskFull;
    case EFBIG: return err::kFileTooLarge;
    case ENAMETOOLONG: return kFilenameTooLong;
    case EBUSY: return err::kSharingViolation;
    case EMFILE:
    case ENFILE: return kTooManyOpenFiles;
    case ENOMEM: return err::kNotEnoughMemory;
    case EXDEV: return kNotSameDevice;
    case EINVAL: return err::kInvalidParameter;
    case ELOOP: return kCantResolveFilename;
    case EIO: return kIoDevice;
    case EBADF: return err::kInvalidHandle;
    default: return kGenFailure;
  }
}

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool IsInvalidNameUnit(char16_t c) {
  return c < 0x20 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'|' || c == u'?' ||
         c == u'*' || IsSeparator(c);
}

bool IsValidWindowsName(TextView name) {
  if (name.empty() || name.back() == u'.' || name.back() == u' ') return false;
  return std::none_of(name.begin(), name.end(), IsInvalidNameUnit);
}

// The entries of a host folder by their upper-case names (the first in byte
// order wins), kept while the folder's modification time stays the same, so
// that looking up a missing or differently cased name does not list the
// folder again. Bounded; safe from any thread.
class FolderIndex {
 public:
  std::string Find(const fs::path& dir, const Text& wanted_upper) {
    struct stat st;
    if (::stat(dir.c_str(), &st) != 0) return {};
    std::lock_guard<std::mutex> lock(mu_);
    auto it = folders_.find(dir.native());
    if (it == folders_.end() || it->second.mtime_sec != st.st_mtim.tv_sec ||
        it->second.mtime_nsec != st.st_mtim.tv_nsec) {
      if (folders_.size() >= kMaxFolders) folders_.clear();
      Listing listing;
      listing.mtime_sec = st.st_mtim.tv_sec;
      listing.mtime_nsec = st.st_mtim.tv_nsec;
      std::error_code ec;
      for (fs::directory_iterator d(dir, ec), end; !ec && d != end; d.increment(ec)) {
        std::string candidate = d->path().filename().string();
        auto [pos, added] = listing.by_upper.emplace(Upcase(FromUtf8(candidate)), candidate);
        if (!added && candidate < pos->second) pos->second = std::move(candidate);
      }
      it = folders_.insert_or_assign(dir.native(), std::move(listing)).first;
    }
    auto found = it->second.by_upper.find(wanted_upper);
    return found == it->second.by_upper.end() ? std::string() : found->second;
  }

 private:
  static constexpr std::size_t kMaxFolders = 8192;
  struct Listing {
    std::int64_t mtime_sec = 0;
    std::int64_t mtime_nsec = 0;
    std::unordered_map<Text, std::string> by_upper;
  };
  std::mutex mu_;
  std::unordered_map<std::string, Listing> folders_;
};

FolderIndex& Folders() {
  static FolderIndex index;
  return index;
}

// Host entry whose name equals `name` ignoring case; empty when none.
std::string FindEntry(const fs::path& dir, const std::string& name) {
  std::error_code ec;
  if (fs::exists(fs::symlink_status(dir / name, ec))) return name;
  return Folders().Find(dir, Upcase(FromUtf8(name)));
}

bool StatPath(const fs::path& p, struct stat* st) { return ::stat(p.c_str(), st) == 0; }

bool IsDirectoryPath(const fs::path& p) {
  struct stat st;
  return StatPath(p, &st) && S_ISDIR(st.st_mode);
}

// Makes a rename or a new directory entry durable, as MOVEFILE_WRITE_THROUGH does.
void SyncDirectory(const fs::path& dir) {
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  (void)::fsync(fd);
  ::close(fd);
}

WinError WriteAll(int fd, std::span<const std::uint8_t> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return FromErrno(errno, err::kFileNotFound, err::kFileExists);
    }
    if (n == 0) return err::kDiskFull;
    done += static_cast<std::size_t>(n);
  }
  return err::kSuccess;
}

class HostWritableFile final : public WritableFile {
 public:
  explicit HostWritableFile(int fd) : fd_(fd) {}
  ~HostWritableFile() override {
    if (fd_ >= 0) ::close(fd_);
  }
  WinError Write(std::span<const std::uint8_t> bytes) override {
    return fd_ < 0 ? err::kInvalidHandle : WriteAll(fd_, bytes);
  }
  WinError Sync() override {
    if (fd_ < 0) return err::kInvalidHandle;
    return ::fsync(fd_) == 0 ? err::kSuccess : FromErrno(errno, err::kFileNotFound, err::kFileExists);
  }
  WinError Close() override {
    if (fd_ < 0) return err::kInvalidHandle;
    int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0 || errno == EINTR ? err::kSuccess : FromErrno(errno, err::kFileNotFound, err::kFileExists);
  }

 private:
  int fd_;
};

class HostAppendFile final : public AppendFile {
 public:
  explicit HostAppendFile(int fd) : fd_(fd) {}
  ~HostAppendFile() override { ::close(fd_); }
  WinError Append(std::span<const std::uint8_t> bytes) override { return WriteAll(fd_, bytes); }

 private:
  int fd_;
};

}  // namespace

fs::path HostFileSystem::Resolved::Full() const {
  fs::path p = found;
  for (const auto& r : rest) p /= r;
  return p;
}

WinError HostFileSystem::Resolved::NotFound() const {
  return rest.size() > 1 ? err::kPathNotFound : err::kFileNotFound;
}

void HostFileSystem::MapDrive(char16_t letter, fs::path host_folder) {
  char16_t up = UpcaseUnit(letter);
  if (up >= u'A' && up <= u'Z') drives_[up - u'A'] = std::move(host_folder);
}

WinError HostFileSystem::Resolve(TextView path, Resolved* out) const {
  *out = Resolved{};
  if (path.find(u'\0') != TextView::npos) return err::kInvalidName;
  if (path.size() >= 4 && path.substr(0, 4) == u"\\\\?\\") path.remove_prefix(4);
  if (path.size() < 3 || path[1] != u':' || !IsSeparator(path[2])) return err::kPathNotFound;
  const char16_t drive = UpcaseUnit(path[0]);
  if (drive < u'A' || drive > u'Z' || drives_[drive - u'A'].empty()) return err::kPathNotFound;

  std::vector<Text> parts;
  std::size_t start = 3;
  for (std::size_t i = 3; i <= path.size(); ++i) {
    if (i < path.size() && !IsSeparator(path[i])) continue;
    TextView part = path.substr(start, i - start);
    start = i + 1;
    if (part.empty() || part == u".") continue;
    if (part == u"..") return err::kPathNotFound;
    while (!part.empty() && (part.back() == u'.' || part.back() == u' ')) part.remove_suffix(1);
    if (!IsValidWindowsName(part)) return err::kInvalidName;
    parts.emplace_back(part);
  }

  out->found = drives_[drive - u'A'];
  // Written as stored (the common case): one call for the path, or one for
  // its folder and a look at the folder's index for the last name, instead
  // of one call per name.
  std::size_t matched = 0;
  if (!parts.empty()) {
    fs::path folder = out->found;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) folder /= ToUtf8(parts[i]);
    const std::string last = ToUtf8(parts.back());
    std::error_code ec;
    if (fs::exists(fs::symlink_status(folder / last, ec))) {
      out->found = folder / last;
      out->leaf = last;
      return err::kSuccess;
    }
    if (parts.size() > 1 && fs::is_directory(fs::status(folder, ec))) {
      out->found = std::move(folder);
      matched = parts.size() - 1;
    }
  }
  for (std::size_t i = matched; i < parts.size(); ++i) {
    const Text& part = parts[i];
    std::string name = ToUtf8(part);
    if (out->rest.empty()) {
      std::string stored = FindEntry(out->found, name);
      if (!stored.empty()) {
        out->found /= stored;
        continue;
      }
    }
    out->rest.push_back(std::move(name));
  }
  if (!parts.empty()) out->leaf = ToUtf8(parts.back());
  return err::kSuccess;
}

WinError HostFileSystem::HostPath(TextView path, fs::path* out) const {
  Resolved r;
  WinError e = Resolve(path, &r);
  *out = e == err::kSuccess ? r.Full() : fs::path();
  return e;
}

WinError HostFileSystem::ReadFileRange(TextView path, std::uint64_t offset, std::size_t size,
                                       std::vector<std::uint8_t>* out) {
  out->clear();
  Resolved r;
  if (WinError e = Resolve(path, &r)) return e;
  int fd = ::open(r.Full().c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return FromErrno(errno, r.NotFound(), err::kFileExists);
  WinError e = err::kSuccess;
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    e = FromErrno(errno, r.NotFound(), err::kFileExists);
  } else if (S_ISDIR(st.st_mode)) {
    e = err::kAccessDenied;
  } else {
    try {
      out->resize(size);
      std::size_t got = 0;
      while (got < size) {
        ssize_t n = ::pread(fd, out->data() + got, size - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
          e = FromErrno(errno, r.NotFound(), err::kFileExists);
          break;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
      }
      out->resize(e == err::kSuccess ? got : 0);
    } catch (const std::exception&) {
      out->clear();
      e = err::kNotEnoughMemory;
    }
  }
  ::close(fd);
  return e;
}

WinError HostFileSystem::ReadFile(TextView path, std::uint64_t max_size, std::vector<std::uint8_t>* out) {
  out->clear();
  Resolved r;
  if (WinError e = Resolve(path, &r)) return e;
  int fd = ::open(r.Full().c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return FromErrno(errno, r.NotFound(), err::kFileExists);
  struct stat st;
  WinError e = err::kSuccess;
  if (::fstat(fd, &st) != 0) {
    e = FromErrno(errno, r.NotFound(), err::kFileExists);
  } else if (S_ISDIR(st.st_mode)) {
    e = err::kAccessDenied;
  } else if (static_cast<std::uint64_t>(st.st_size) > max_size) {
    e = err::kFileTooLarge;
  } else {
    try {
      out->reserve(static_cast<std::size_t>(st.st_size));
      std::uint8_t buf[65536];
      for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
          e = FromErrno(errno, r.NotFound(), err::kFileExists);
          break;
        }
        if (n == 0) break;
        // The file may grow while it is read.
        if (out->size() + static_cast<std::uint64_t>(n) > max_size) {
          e = err::kFileTooLarge;
          break;
        }
        out->insert(out->end(), buf, buf + n);
      }
    } catch (const std::exception&) {
      e = err::kNotEnoughMemory;
    }
  }
  ::close(fd);
  if (e != err::kSuccess) out->clear();
  return e;
}

WinError HostFileSystem::CreateNewFile(TextView path, std::unique_ptr<WritableFile>* out) {
  out->reset();
  Resolved r;
  if (WinError e = Resolve(path, &r)) return e;
  if (r.leaf.empty()) return err::kAccessDenied;
  int fd = ::open(r.Full().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return FromErrno(errno, r.NotFound(), err::kFileExists);
  *out = std::make_unique<HostWritableFile>(fd);
  return err::kSuccess;
}

WinError HostFileSystem::OpenAppend(TextView path, std::unique_ptr<AppendFile>* out) {
  out->reset();
  Resolved r;
  if (WinError e = Resolve(path, &r)) return e;
  if (r.leaf.empty()) return err::kAccessDenied;
  int fd = ::open(r.Full().c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return FromErrno(errno, err::kPathNotFound, err::kFileExists);
  *out = std::make_unique<HostAppendFile>(fd);
  return err::kSuccess;
}

bool HostFileSystem::Exists(TextView path) {
  Resolved r;
  std::error_code ec;
  return Resolve(path, &r) == err::kSuccess && r.rest.empty() && fs::exists(fs::symlink_status(r.found, ec));
}

bool HostFileSystem::IsDirectory(TextView path) {
  Resolved r;
  return Resolve(path, &r) == err::kSuccess && r.rest.empty() && IsDirectoryPath(r.found);
}

WinError HostFileSystem::CreateDirectories(TextView path) {
  Resolved r;
  if (WinError e = Resolve(path, &r)) return e;
  if (!IsDirectoryPath(r.found)) {
    std::error_code ec;
    if (!r.rest.empty() || !fs::exists(fs::symlink_status(r.found, ec))) return err::kPathNotFound;
    return err::kAlreadyExists;
  }
  fs::path cur = r.found;
  for (const auto& part : r.rest) {
    cur /= part;
    if (::mkdir(cur.c_str(), 0777) != 0) {
      if (errno == EEXIST && IsDirectoryPath(cur)) continue;
      return FromErrno(errno, err::kPathNotFound, err::kAlreadyExists);
    }
  }
  if (!r.rest.empty()) SyncDirectory(r.found);
  return err::kSuccess;
}

WinError HostFileSystem::DeleteFile(TextView path) {
  Resolved r;
  if (WinError e = Resolve(path, &r)) return e;
  if (!r.rest.empty()) return r.NotFound();
  struct stat st;
  if (::lstat(r.found.c_str(), &st) != 0) return FromErrno(errno, err::kFileNotFound, err::kFileExists);
  if (S_ISDIR(st.st_mode) || r.leaf.empty()) return err::kAccessDenied;
  if (::unlink(r.found.c_str()) != 0) return FromErrno(errno, err::kFileNotFound, err::kFileExists);
  return err::kSuccess;
}

WinError HostFileSystem::MoveFile(TextView from, TextView to, bool replace) {
  Resolved src, dst;
  if (WinError e = Resolve(from, &src)) return e;
  if (WinError e = Resolve(to, &dst)) return e;
  if (!src.rest.empty()) return src.NotFound();
  if (src.leaf.empty() || dst.leaf.empty()) return err::kAccessDenied;
  if (dst.rest.size() > 1) return err::kPathNotFound;

  fs::path target = dst.Full();
  struct stat s_st, d_st;
  if (::lstat(src.found.c_str(), &s_st) != 0) return FromErrno(errno, err::kFileNotFound, err::kFileExists);
  if (dst.rest.empty() && ::lstat(target.c_str(), &d_st) == 0) {
    if (src.found == dst.found) {
      // The same entry under another case: rename to the new spelling.
      target = target.parent_path() / dst.leaf;
    } else {
      if (!replace) return err::kAlreadyExists;
      if (S_ISDIR(d_st.st_mode) || S_ISDIR(s_st.st_mode)) return err::kAccessDenied;
    }
  }

  int rc;
#if defined(__linux__) && defined(RENAME_NOREPLACE)
  if (!replace) {
    rc = ::renameat2(AT_FDCWD, src.found.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
    if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) rc = ::rename(src.found.c_str(), target.c_str());
  } else {
    rc = ::rename(src.found.c_str(), target.c_str());
  }
#else
  rc = ::rename(src.found.c_str(), target.c_str());
#endif
  if (rc != 0 && errno == EXDEV && S_ISREG(s_st.st_mode)) {
    // Another host file system: copy and delete, as MOVEFILE_COPY_ALLOWED does.
    std::error_code ec;
    fs::copy_file(src.found, target, replace ? fs::copy_options::overwrite_existing : fs::copy_options::none, ec);
    if (ec) return FromErrno(ec.value(), err::kPathNotFound, err::kAlreadyExists);
    rc = ::unlink(src.found.c_str());
    if (rc != 0) return FromErrno(errno, err::kFileNotFound, err::kFileExists);
  }
  if (rc != 0) return FromErrno(errno, err::kPathNotFound, err::kAlreadyExists);
  SyncDirectory(target.parent_path());
  if (src.found.parent_path() != target.parent_path()) SyncDirectory(src.found.parent_path());
  return err::kSuccess;
}

WinError HostFileSystem::GetFileInfo(TextView path, FileInfo* out) {
  *out = FileInfo{};
  Resolved r;
  if (WinError e = Resolve(path, &r)) return e;
  if (!r.rest.empty()) return r.NotFound();
  struct stat st;
  // A link whose target is gone reports itself, as the system does for a
  // reparse point.
  if (!StatPath(r.found, &st) && ::lstat(r.found.c_str(), &st) != 0)
    return FromErrno(errno, err::kFileNotFound, err::kFileExists);
  out->is_directory = S_ISDIR(st.st_mode);
  if (S_ISREG(st.st_mode)) out->size = static_cast<std::uint64_t>(st.st_size);
  // Seconds between 1601-01-01 and 1970-01-01; times before 1601 read as 0.
  constexpr std::int64_t kEpochDelta = 11644473600;
  const std::int64_t secs = static_cast<std::int64_t>(st.st_mtim.tv_sec) + kEpochDelta;
  if (secs >= 0)
    out->last_write = static_cast<std::uint64_t>(secs) * 10000000u + static_cast<std::uint64_t>(st.st_mtim.tv_nsec) / 100;
  return err::kSuccess;
}

WinError HostFileSystem::ListDirectory(TextView path, std::vector<DirEntry>* out) {
  out->clear();
  Resolved r;
  if (WinError e = Resolve(path, &r)) return e;
  if (!r.rest.empty() || !IsDirectoryPath(r.found)) return err::kPathNotFound;
  std::error_code ec;
  fs::directory_iterator it(r.found, ec);
  if (ec) return FromErrno(ec.value(), err::kPathNotFound, err::kAlreadyExists);
  for (fs::directory_iterator end; it != end; it.increment(ec)) {
    if (ec) {
      out->clear();
      return FromErrno(ec.value(), err::kPathNotFound, err::kAlreadyExists);
    }
    DirEntry entry;
    entry.name = FromUtf8(it->path().filename().string());
    if (!IsValidWindowsName(entry.name)) continue;
    struct stat st;
    if (StatPath(it->path(), &st)) {
      entry.is_directory = S_ISDIR(st.st_mode);
      if (S_ISREG(st.st_mode)) entry.size = static_cast<std::uint64_t>(st.st_size);
    }
    out->push_back(std::move(entry));
  }
  std::sort(out->begin(), out->end(),
            [](const DirEntry& a, const DirEntry& b) { return CompareNoCase(a.name, b.name) < 0; });
  return err::kSuccess;
}

}  // namespace hs
