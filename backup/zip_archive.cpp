#include "backup/zip_archive.h"

#include <algorithm>
#include <cstring>

#include <unzip.h>
#include <zip.h>

namespace hs {
namespace {

// A growable byte stream that minizip's file functions work on.
struct MemStream {
  std::vector<std::uint8_t>* owned = nullptr;       // writing
  std::span<const std::uint8_t> view;               // reading
  std::uint64_t pos = 0;
  bool failed = false;

  std::uint64_t size() const { return owned ? owned->size() : view.size(); }
  const std::uint8_t* data() const { return owned ? owned->data() : view.data(); }
};

voidpf ZCALLBACK MemOpen(voidpf opaque, const void*, int) { return opaque; }

uLong ZCALLBACK MemRead(voidpf, voidpf stream, void* buf, uLong size) {
  auto* s = static_cast<MemStream*>(stream);
  const std::uint64_t left = s->pos < s->size() ? s->size() - s->pos : 0;
  const uLong n = static_cast<uLong>(std::min<std::uint64_t>(size, left));
  if (n) std::memcpy(buf, s->data() + s->pos, n);
  s->pos += n;
  return n;
}

uLong ZCALLBACK MemWrite(voidpf, voidpf stream, const void* buf, uLong size) {
  auto* s = static_cast<MemStream*>(stream);
  if (!s->owned || s->pos + size > kMaxZipArchiveBytes) {
    s->failed = true;
    return 0;
  }
  if (s->owned->size() < s->pos + size) s->owned->resize(s->pos + size);
  std::memcpy(s->owned->data() + s->pos, buf, size);
  s->pos += size;
  return size;
}

ZPOS64_T ZCALLBACK MemTell(voidpf, voidpf stream) { return static_cast<MemStream*>(stream)->pos; }

long ZCALLBACK MemSeek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  auto* s = static_cast<MemStream*>(stream);
  std::uint64_t base = 0;
  switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET: base = 0; break;
    case ZLIB_FILEFUNC_SEEK_CUR: base = s->pos; break;
    case ZLIB_FILEFUNC_SEEK_END: base = s->size(); break;
    default: return -1;
  }
  const std::uint64_t target = base + offset;
  if (target < base || target > s->size()) return -1;
  s->pos = target;
  return 0;
}

int ZCALLBACK MemClose(voidpf, voidpf) { return 0; }
int ZCALLBACK MemError(voidpf, voidpf stream) { return static_cast<MemStream*>(stream)->failed ? 1 : 0; }

zlib_filefunc64_def MemFunctions(MemStream* stream) {
  zlib_filefunc64_def f{};
  f.zopen64_file = MemOpen;
  f.zread_file = MemRead;
  f.zwrite_file = MemWrite;
  f.ztell64_file = MemTell;
  f.zseek64_file = MemSeek;
  f.zclose_file = MemClose;
  f.zerror_file = MemError;
  f.opaque = stream;
  return f;
}

}  // namespace

struct ZipWriter::State {
  std::vector<std::uint8_t> bytes;
  MemStream stream;
  zipFile zip = nullptr;
  bool broken = false;
};

ZipWriter::ZipWriter() : state_(std::make_unique<State>()) {
  state_->stream.owned = &state_->bytes;
  zlib_filefunc64_def f = MemFunctions(&state_->stream);
  state_->zip = zipOpen2_64("memory", APPEND_STATUS_CREATE, nullptr, &f);
  if (!state_->zip) state_->broken = true;
}

ZipWriter::~ZipWriter() {
  if (state_->zip) (void)zipClose(state_->zip, nullptr);
}

bool ZipWriter::Add(const std::string& name, std::span<const std::uint8_t> bytes) {
  if (state_->broken || name.empty() || name.size() > kMaxZipEntryName) return false;
  zip_fileinfo info{};
  const int zip64 = bytes.size() >= 0xFFFFFFFFu ? 1 : 0;
  if (zipOpenNewFileInZip64(state_->zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                            Z_DEFAULT_COMPRESSION, zip64) != ZIP_OK) {
    state_->broken = true;
    return false;
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    if (zipWriteInFileInZip(state_->zip, bytes.data() + done, chunk) != ZIP_OK) {
      state_->broken = true;
      return false;
    }
    done += chunk;
  }
  if (zipCloseFileInZip(state_->zip) != ZIP_OK || state_->stream.failed) {
    state_->broken = true;
    return false;
  }
  return true;
}

bool ZipWriter::Finish(std::vector<std::uint8_t>* out) {
  if (!state_->zip) return false;
  const int rc = zipClose(state_->zip, nullptr);
  state_->zip = nullptr;
  if (rc != ZIP_OK || state_->broken || state_->stream.failed) return false;
  *out = std::move(state_->bytes);
  return true;
}

struct ZipReader::State {
  MemStream stream;
  unzFile unz = nullptr;
};

ZipReader::ZipReader() : state_(std::make_unique<State>()) {}

ZipReader::~ZipReader() {
  if (state_->unz) (void)unzClose(state_->unz);
}

bool ZipReader::Open(std::span<const std::uint8_t> bytes) {
  names_.clear();
  sizes_.clear();
  if (state_->unz) {
    (void)unzClose(state_->unz);
    state_->unz = nullptr;
  }
  if (bytes.size() > kMaxZipArchiveBytes) {
    error_ = "the archive is larger than the limit";
    return false;
  }
  state_->stream = MemStream{};
  state_->stream.view = bytes;
  zlib_filefunc64_def f = MemFunctions(&state_->stream);
  state_->unz = unzOpen2_64("memory", &f);
  if (!state_->unz) {
    error_ = "not a zip archive";
    return false;
  }
  unz_global_info64 global{};
  if (unzGetGlobalInfo64(state_->unz, &global) != UNZ_OK || global.number_entry > kMaxZipEntries) {
    error_ = "the archive directory is damaged or lists too many entries";
    return false;
  }
  int rc = unzGoToFirstFile(state_->unz);
  while (rc == UNZ_OK) {
    unz_file_info64 info{};
    char name[kMaxZipEntryName + 1] = {};
    if (unzGetCurrentFileInfo64(state_->unz, &info, name, sizeof(name), nullptr, 0, nullptr, 0) != UNZ_OK ||
        info.size_filename > kMaxZipEntryName) {
      error_ = "an entry of the archive directory is damaged";
      return false;
    }
    if (names_.size() >= kMaxZipEntries) {
      error_ = "the archive lists too many entries";
      return false;
    }
    names_.emplace_back(name, info.size_filename);
    sizes_.push_back(info.uncompressed_size);
    rc = unzGoToNextFile(state_->unz);
  }
  if (rc != UNZ_END_OF_LIST_OF_FILE) {
    error_ = "the archive directory is damaged";
    names_.clear();
    sizes_.clear();
    return false;
  }
  return true;
}

bool ZipReader::Extract(std::size_t i, std::vector<std::uint8_t>* out) {
  if (!state_->unz || i >= names_.size()) {
    error_ = "no such entry";
    return false;
  }
  if (sizes_[i] > kMaxZipEntryBytes) {
    error_ = "the entry is larger than the limit";
    return false;
  }
  if (unzGoToFirstFile(state_->unz) != UNZ_OK) {
    error_ = "the archive directory is damaged";
    return false;
  }
  for (std::size_t k = 0; k < i; ++k) {
    if (unzGoToNextFile(state_->unz) != UNZ_OK) {
      error_ = "the archive directory is damaged";
      return false;
    }
  }
  if (unzOpenCurrentFile(state_->unz) != UNZ_OK) {
    error_ = "the entry cannot be opened";
    return false;
  }
  std::vector<std::uint8_t> data;
  data.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(sizes_[i], 64u << 20)));
  std::uint8_t buf[65536];
  for (;;) {
    const int n = unzReadCurrentFile(state_->unz, buf, sizeof(buf));
    if (n < 0) {
      (void)unzCloseCurrentFile(state_->unz);
      error_ = "the entry's data is damaged";
      return false;
    }
    if (n == 0) break;
    if (data.size() + static_cast<std::size_t>(n) > sizes_[i]) {
      (void)unzCloseCurrentFile(state_->unz);
      error_ = "the entry holds more data than its directory says";
      return false;
    }
    data.insert(data.end(), buf, buf + n);
  }
  // Closing checks the CRC once the whole entry was read.
  if (unzCloseCurrentFile(state_->unz) != UNZ_OK || data.size() != sizes_[i]) {
    error_ = "the entry's data is damaged (checksum)";
    return false;
  }
  *out = std::move(data);
  return true;
}

}  // namespace hs
