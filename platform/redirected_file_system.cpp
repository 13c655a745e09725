#include "platform/redirected_file_system.h"

namespace hs {

namespace {

bool IsSep(char16_t c) { return c == u'\\' || c == u'/'; }

Text WithoutTrailingSeparators(Text path) {
  while (path.size() > 1 && IsSep(path.back())) path.pop_back();
  return path;
}

// A component made only of dots and spaces with at least two dots: Windows
// resolves it as the parent folder (trailing dots and spaces are dropped).
bool IsParentComponent(TextView c) {
  int dots = 0;
  for (char16_t u : c) {
    if (u == u'.') ++dots;
    else if (u != u' ') return false;
  }
  return dots >= 2;
}

}  // namespace

RedirectedFileSystem::RedirectedFileSystem(FileSystem& target, Text from, Text to, bool read_only_elsewhere)
    : target_(target),
      from_(WithoutTrailingSeparators(std::move(from))),
      to_(WithoutTrailingSeparators(std::move(to))),
      read_only_elsewhere_(read_only_elsewhere) {}

WinError RedirectedFileSystem::Map(TextView path, Text* out, bool* redirected) const {
  *redirected = false;
  bool prefix = !from_.empty() && path.size() >= from_.size();
  for (std::size_t i = 0; prefix && i < from_.size(); ++i) {
    const char16_t a = path[i], b = from_[i];
    prefix = IsSep(a) ? IsSep(b) : UpcaseUnit(a) == UpcaseUnit(b);
  }
  if (!prefix || (path.size() > from_.size() && !IsSep(path[from_.size()]))) {
    *out = Text(path);
    return err::kSuccess;
  }
  std::size_t start = from_.size();
  while (start < path.size() && IsSep(path[start])) ++start;
  const TextView rest = path.substr(start);
  std::size_t begin = 0;
  while (begin <= rest.size()) {
    std::size_t end = begin;
    while (end < rest.size() && !IsSep(rest[end])) ++end;
    if (IsParentComponent(rest.substr(begin, end - begin))) return err::kPathNotFound;
    begin = end + 1;
  }
  Text mapped = to_;
  // A bare drive ("D:") needs its root separator; a folder takes one before the rest.
  if (!rest.empty() || (mapped.size() == 2 && mapped[1] == u':')) mapped += u'\\';
  mapped += rest;
  *out = std::move(mapped);
  *redirected = true;
  return err::kSuccess;
}

WinError RedirectedFileSystem::MapForWrite(TextView path, Text* out) const {
  bool redirected = false;
  if (WinError e = Map(path, out, &redirected)) return e;
  if (!redirected && read_only_elsewhere_) return err::kAccessDenied;
  return err::kSuccess;
}

WinError RedirectedFileSystem::ReadFile(TextView path, std::uint64_t max_size, std::vector<std::uint8_t>* out) {
  Text p;
  bool r = false;
  if (WinError e = Map(path, &p, &r)) {
    out->clear();
    return e;
  }
  return target_.ReadFile(p, max_size, out);
}

WinError RedirectedFileSystem::CreateNewFile(TextView path, std::unique_ptr<WritableFile>* out) {
  Text p;
  if (WinError e = MapForWrite(path, &p)) return e;
  return target_.CreateNewFile(p, out);
}

WinError RedirectedFileSystem::OpenAppend(TextView path, std::unique_ptr<AppendFile>* out) {
  Text p;
  if (WinError e = MapForWrite(path, &p)) return e;
  return target_.OpenAppend(p, out);
}

bool RedirectedFileSystem::Exists(TextView path) {
  Text p;
  bool r = false;
  return Map(path, &p, &r) == err::kSuccess && target_.Exists(p);
}

bool RedirectedFileSystem::IsDirectory(TextView path) {
  Text p;
  bool r = false;
  return Map(path, &p, &r) == err::kSuccess && target_.IsDirectory(p);
}

WinError RedirectedFileSystem::CreateDirectories(TextView path) {
  Text p;
  if (WinError e = MapForWrite(path, &p)) return e;
  return target_.CreateDirectories(p);
}

WinError RedirectedFileSystem::DeleteFile(TextView path) {
  Text p;
  if (WinError e = MapForWrite(path, &p)) return e;
  return target_.DeleteFile(p);
}

WinError RedirectedFileSystem::MoveFile(TextView from, TextView to, bool replace) {
  Text f, t;
  if (WinError e = MapForWrite(from, &f)) return e;
  if (WinError e = MapForWrite(to, &t)) return e;
  return target_.MoveFile(f, t, replace);
}

WinError RedirectedFileSystem::GetFileInfo(TextView path, FileInfo* out) {
  Text p;
  bool r = false;
  if (WinError e = Map(path, &p, &r)) {
    *out = FileInfo{};
    return e;
  }
  return target_.GetFileInfo(p, out);
}

WinError RedirectedFileSystem::ListDirectory(TextView path, std::vector<DirEntry>* out) {
  Text p;
  bool r = false;
  if (WinError e = Map(path, &p, &r)) {
    out->clear();
    return e;
  }
  if (WinError e = target_.ListDirectory(p, out)) return e;
  // The folder that holds `from` shows it as the folder it leads to.
  const std::size_t cut = from_.find_last_of(u"\\/");
  if (r || cut == Text::npos || cut + 1 >= from_.size()) return err::kSuccess;
  if (!EqualsNoCase(WithoutTrailingSeparators(Text(path)), WithoutTrailingSeparators(from_.substr(0, cut + 1))))
    return err::kSuccess;
  const Text name = from_.substr(cut + 1);
  std::erase_if(*out, [&](const DirEntry& d) { return EqualsNoCase(d.name, name); });
  if (target_.IsDirectory(to_)) out->push_back(DirEntry{name, true, 0});
  else if (target_.Exists(to_)) out->push_back(DirEntry{name, false, 0});
  return err::kSuccess;
}

XmlWriterOpen RedirectedXmlWriterFactory::Create(TextView path) {
  Text p;
  if (WinError e = rules_.MapForWrite(path, &p)) {
    XmlWriterOpen refused;
    refused.failures.push_back({XmlSetupStep::kFileStream, HResultFromWin32(e)});
    return refused;
  }
  return target_.Create(p);
}

}  // namespace hs
