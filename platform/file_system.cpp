#include "platform/file_system.h"

#include <atomic>

namespace hs {

namespace {
std::atomic<std::uint32_t> g_temp_counter{0};
constexpr int kMaxTempAttempts = 100;
}  // namespace

WinError FileSystem::GetFileInfo(TextView, FileInfo* out) {
  *out = FileInfo{};
  return err::kCallNotImplemented;
}

WinError FileSystem::ReadFileRange(TextView path, std::uint64_t offset, std::size_t size,
                                   std::vector<std::uint8_t>* out) {
  std::vector<std::uint8_t> all;
  WinError e = ReadFile(path, ~std::uint64_t{0}, &all);
  out->clear();
  if (e == err::kSuccess && offset < all.size()) {
    const std::size_t from = static_cast<std::size_t>(offset);
    out->assign(all.begin() + from, all.begin() + from + std::min(size, all.size() - from));
  }
  return e;
}

WinError FileSystem::WriteFileAtomic(TextView path, std::span<const std::uint8_t> bytes) {
  if (path.empty()) return err::kPathNotFound;
  std::unique_ptr<WritableFile> file;
  Text temp;
  WinError e = err::kFileExists;
  // CREATE_NEW makes the name ours alone, also against other processes and
  // temporary files left by a crash.
  for (int attempt = 0; attempt < kMaxTempAttempts; ++attempt) {
    temp = Text(path) + u".~" + ToText(g_temp_counter.fetch_add(1)) + u".tmp";
    e = CreateNewFile(temp, &file);
    if (e != err::kFileExists && e != err::kAlreadyExists) break;
  }
  if (e != err::kSuccess) return e;

  e = file->Write(bytes);
  if (e == err::kSuccess) e = file->Sync();
  if (e == err::kSuccess) e = file->Close();
  file.reset();
  if (e == err::kSuccess) e = MoveFile(temp, path, /*replace=*/true);
  if (e != err::kSuccess) (void)DeleteFile(temp);
  return e;
}

Text ErrorText(WinError e) { return u"error " + ToText(e); }

WinError SetAsideDamagedFile(FileSystem& fs, TextView path, Log& log) {
  // An earlier copy is evidence too: the first free name of <path>.bad,
  // <path>.2.bad, <path>.3.bad ... is taken, never an existing one.
  Text bad;
  WinError e = err::kAlreadyExists;
  for (int n = 1; n <= kMaxDamagedCopies && (e == err::kAlreadyExists || e == err::kFileExists); ++n) {
    bad = n == 1 ? Text(path) + u".bad" : Text(path) + u"." + ToText(n) + u".bad";
    e = fs.MoveFile(path, bad, /*replace=*/false);
  }
  if (e == err::kSuccess) {
    log.LogLine(u"The damaged file " + LogSafe(path) + u" was kept as " + LogSafe(bad));
  } else {
    log.LogLine(u"Could not move the damaged file " + LogSafe(path) + u" to " + LogSafe(bad) + u" (" + ErrorText(e) +
                u")");
  }
  return e;
}

}  // namespace hs
