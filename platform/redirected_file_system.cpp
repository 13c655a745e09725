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

WinError RedirectedFileSystem::ReadFileRange(TextView path, std::uint64_t offset, std::size_t size,
                                             std::vector<std::uint8_t>* out) {
  Text p;
  bool r = false;
  if (WinError e = Map(path, &p, &r)) {
    out->clear();
    return e;
  }
  return target_.ReadFileRange(p, offset, size, out);
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
  Text p, next;
  bool r = false;
  return Map(path, &p, &r) == err::kSuccess && (target_.Exists(p) || (!r && LeadsToFrom(path, &next)));
}

bool RedirectedFileSystem::IsDirectory(TextView path) {
  Text p, next;
  bool r = false;
  return Map(path, &p, &r) == err::kSuccess && (target_.IsDirectory(p) || (!r && LeadsToFrom(path, &next)));
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
  Text next;
  const bool shown = !r && LeadsToFrom(path, &next);
  WinError e = target_.ListDirectory(p, out);
  if (!shown) return e;
  if (e != err::kSuccess) out->clear();
  // The folder on the way to `from` shows the next folder of that way.
  std::erase_if(*out, [&](const DirEntry& d) { return EqualsNoCase(d.name, next); });
  out->push_back(DirEntry{next, true, 0});
  return err::kSuccess;
}

bool RedirectedFileSystem::LeadsToFrom(TextView path, Text* next) const {
  Text p = WithoutTrailingSeparators(Text(path));
  if (p.size() >= from_.size() || from_.empty()) return false;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const char16_t a = p[i], b = from_[i];
    if (IsSep(a) ? !IsSep(b) : UpcaseUnit(a) != UpcaseUnit(b)) return false;
  }
  if (!IsSep(from_[p.size()])) return false;
  std::size_t begin = p.size() + 1, end = begin;
  while (end < from_.size() && !IsSep(from_[end])) ++end;
  if (end == begin || !target_.IsDirectory(to_)) return false;
  *next = from_.substr(begin, end - begin);
  return true;
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
