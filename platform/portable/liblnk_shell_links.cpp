#include "platform/portable/liblnk_shell_links.h"

#include <libbfio.h>
#include <liblnk.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/portable/shell_link_layout.h"

namespace hs {

namespace {

class NoGuard final : public ShellLinks::ThreadGuard {};

// The shortcut's bytes as a libbfio handle. Reads stop at the end of the
// bytes: the library's own memory range copies whole requests even past the
// end of a short file.
struct BoundedBytes {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  std::size_t pos = 0;
};

int BoundedFree(intptr_t** handle, libbfio_error_t**) {
  delete reinterpret_cast<BoundedBytes*>(*handle);
  *handle = nullptr;
  return 1;
}
int BoundedClone(intptr_t** to, intptr_t* from, libbfio_error_t**) {
  if (!from) {
    *to = nullptr;
    return 1;
  }
  *to = reinterpret_cast<intptr_t*>(new (std::nothrow) BoundedBytes(*reinterpret_cast<BoundedBytes*>(from)));
  return *to ? 1 : -1;
}
int BoundedOpen(intptr_t* handle, int flags, libbfio_error_t**) {
  if (flags & LIBBFIO_ACCESS_FLAG_WRITE) return -1;
  reinterpret_cast<BoundedBytes*>(handle)->pos = 0;
  return 1;
}
int BoundedClose(intptr_t*, libbfio_error_t**) { return 0; }
ssize_t BoundedRead(intptr_t* handle, uint8_t* buffer, size_t size, libbfio_error_t**) {
  auto* b = reinterpret_cast<BoundedBytes*>(handle);
  const std::size_t n = b->pos < b->size ? std::min(size, b->size - b->pos) : 0;
  if (n) std::memcpy(buffer, b->data + b->pos, n);
  b->pos += n;
  return static_cast<ssize_t>(n);
}
ssize_t BoundedWrite(intptr_t*, const uint8_t*, size_t, libbfio_error_t**) { return -1; }
off64_t BoundedSeek(intptr_t* handle, off64_t offset, int whence, libbfio_error_t**) {
  auto* b = reinterpret_cast<BoundedBytes*>(handle);
  off64_t base = 0;
  if (whence == SEEK_CUR) base = static_cast<off64_t>(b->pos);
  else if (whence == SEEK_END) base = static_cast<off64_t>(b->size);
  else if (whence != SEEK_SET) return -1;
  const off64_t to = base + offset;
  if (to < 0 || static_cast<std::uint64_t>(to) > b->size) return -1;
  b->pos = static_cast<std::size_t>(to);
  return to;
}
int BoundedExists(intptr_t*, libbfio_error_t**) { return 1; }
int BoundedIsOpen(intptr_t*, libbfio_error_t**) { return 1; }
int BoundedSize(intptr_t* handle, size64_t* size, libbfio_error_t**) {
  *size = reinterpret_cast<BoundedBytes*>(handle)->size;
  return 1;
}

// One open liblnk file over the shortcut's bytes (the bytes must outlive it).
class LnkFile {
 public:
  explicit LnkFile(std::vector<std::uint8_t>& bytes) {
    libbfio_error_t* io_error = nullptr;
    auto* range = new (std::nothrow) BoundedBytes{bytes.data(), bytes.size(), 0};
    if (!range) return;
    if (libbfio_handle_initialize(&io_, reinterpret_cast<intptr_t*>(range), BoundedFree, BoundedClone, BoundedOpen,
                                  BoundedClose, BoundedRead, BoundedWrite, BoundedSeek, BoundedExists,
                                  BoundedIsOpen, BoundedSize, LIBBFIO_FLAG_IO_HANDLE_MANAGED, &io_error) != 1) {
      delete range;
      libbfio_error_free(&io_error);
      io_ = nullptr;
      return;
    }
    liblnk_error_t* error = nullptr;
    if (liblnk_file_initialize(&file_, &error) != 1) {
      liblnk_error_free(&error);
      file_ = nullptr;
      return;
    }
    if (liblnk_file_open_file_io_handle(file_, io_, LIBLNK_OPEN_READ, &error) != 1) {
      liblnk_error_free(&error);
      return;
    }
    open_ = true;
  }
  ~LnkFile() {
    liblnk_error_t* error = nullptr;
    if (open_ && liblnk_file_close(file_, &error) != 0) liblnk_error_free(&error);
    if (file_ && liblnk_file_free(&file_, &error) != 1) liblnk_error_free(&error);
    libbfio_error_t* io_error = nullptr;
    if (io_ && libbfio_handle_free(&io_, &io_error) != 1) libbfio_error_free(&io_error);
  }
  LnkFile(const LnkFile&) = delete;
  LnkFile& operator=(const LnkFile&) = delete;

  bool open() const { return open_; }

  // One of liblnk's UTF-16 strings; empty when the link does not hold it.
  template <class SizeFn, class GetFn>
  Text String(SizeFn size_fn, GetFn get_fn) {
    liblnk_error_t* error = nullptr;
    size_t size = 0;
    const int has = size_fn(file_, &size, &error);
    if (has != 1) {
      if (has < 0) liblnk_error_free(&error);
      return Text();
    }
    if (size == 0 || size > 32768) return Text();
    std::vector<uint16_t> buf(size, 0);
    if (get_fn(file_, buf.data(), size, &error) != 1) {
      liblnk_error_free(&error);
      return Text();
    }
    Text out;
    for (uint16_t c : buf) {
      if (c == 0) break;
      out.push_back(static_cast<char16_t>(c));
    }
    return out;
  }

 private:
  libbfio_handle_t* io_ = nullptr;
  liblnk_file_t* file_ = nullptr;
  bool open_ = false;
};

bool IsDrivePath(TextView p) {
  return p.size() >= 3 && ((p[0] >= u'A' && p[0] <= u'Z') || (p[0] >= u'a' && p[0] <= u'z')) && p[1] == u':' &&
         p[2] == u'\\';
}

}  // namespace

Text ResolveLinkRelativePath(TextView link_path, TextView relative) {
  if (relative.empty() || !(relative.substr(0, 2) == u".\\" || relative.substr(0, 3) == u"..\\")) return Text();
  const std::size_t slash = link_path.rfind(u'\\');
  if (slash == TextView::npos) return Text();
  // The root that ".." never climbs above: "C:" or "\\server\share".
  std::size_t root_end;
  if (IsDrivePath(link_path)) {
    root_end = 2;
  } else if (link_path.substr(0, 2) == u"\\\\") {
    const std::size_t server = link_path.find(u'\\', 2);
    if (server == TextView::npos) return Text();
    const std::size_t share = link_path.find(u'\\', server + 1);
    root_end = share == TextView::npos ? link_path.size() : share;
  } else {
    return Text();
  }
  if (slash < root_end) return Text();
  std::vector<Text> parts;
  for (const Text& p : Split(link_path.substr(root_end, slash - root_end), u'\\'))
    if (!p.empty()) parts.push_back(p);
  for (const Text& p : Split(relative, u'\\')) {
    if (p.empty() || p == u".") continue;
    if (p == u"..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(p);
  }
  Text out(link_path.substr(0, root_end));
  for (const Text& p : parts) out += u"\\" + p;
  if (out.size() == root_end) out += u"\\";
  return out;
}

std::unique_ptr<ShellLinks::ThreadGuard> LiblnkShellLinks::EnterThread() { return std::make_unique<NoGuard>(); }

Text LiblnkShellLinks::TargetPath(TextView link_path) {
  std::vector<std::uint8_t> bytes;
  if (fs_.ReadFile(link_path, kMaxShellLinkBytes, &bytes) != err::kSuccess || bytes.empty()) return Text();
  // liblnk allocates what the file declares: it sees only files whose every
  // declared size fits the bytes read.
  if (!ShellLinkLayoutFits(bytes)) return Text();
  LnkFile lnk(bytes);
  if (!lnk.open()) return Text();

  // The stored path first, as the shell-link object of the reference
  // platform answers; the expandable path only for a link without one.
  Text target = lnk.String(liblnk_file_get_utf16_network_path_size, liblnk_file_get_utf16_network_path);
  if (target.empty()) target = lnk.String(liblnk_file_get_utf16_local_path_size, liblnk_file_get_utf16_local_path);
  if (target.empty()) {
    const Text expandable = lnk.String(liblnk_file_get_utf16_environment_variables_location_size,
                                       liblnk_file_get_utf16_environment_variables_location);
    if (!expandable.empty() && !shell_.ExpandEnvironmentStrings(expandable, kMaxShellLinkPathChars, &target).ok)
      target.clear();
  }
  if (target.empty())
    target = ResolveLinkRelativePath(
        link_path, lnk.String(liblnk_file_get_utf16_relative_path_size, liblnk_file_get_utf16_relative_path));
  if (target.size() >= kMaxShellLinkPathChars - 1) return Text();
  return target;
}

bool LiblnkShellLinks::IsWritable(TextView path) {
  FileInfo info;
  return fs_.GetFileInfo(path, &info) == err::kSuccess && !info.is_directory;
}

}  // namespace hs
