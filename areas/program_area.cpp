#include "areas/program_area.h"

#include "engine/scan_manager.h"

namespace hs {

ValueText ReadValueText(Registry& registry, RegKey key, TextView name, std::size_t max_chars, Text* text) {
  text->clear();
  RegValue v;
  const WinError e = registry.QueryValue(key, name, &v);
  if (e == err::kFileNotFound) return ValueText::kMissing;
  if (e != err::kSuccess) return ValueText::kUnreadable;
  if (v.type != kRegSz && v.type != kRegExpandSz) return ValueText::kUnreadable;
  if (v.data.size() > max_chars * 2) return ValueText::kUnreadable;
  Text raw = FromUtf16leBytes(v.data.data(), v.data.size() & ~static_cast<std::size_t>(1));
  const auto nul = raw.find(u'\0');
  if (nul != Text::npos) raw.resize(nul);
  *text = Trim(raw);
  return ValueText::kText;
}

Text JoinWithBackslash(TextView folder, TextView name) {
  while (!folder.empty() && folder.back() == u'\\') folder.remove_suffix(1);
  while (!name.empty() && name.front() == u'\\') name.remove_prefix(1);
  return Text(folder) + u"\\" + Text(name);
}

bool IsRootedPath(TextView path) {
  if (path.size() >= 2 && path[1] == u':') return true;
  return !path.empty() && path[0] == u'\\';
}

const RegEnv& CProgramArea::env() const { return manager().reg(); }

bool CProgramArea::windows64() const { return env().windows64; }

std::vector<bool> CProgramArea::PassViews() const {
  if (windows64()) return {false, true};
  return {true};
}

std::uint32_t CProgramArea::ReadMask(bool is64_view) const {
  return AccessMask(windows64(), KeyAccess::kRead, is64_view);
}

std::uint32_t CProgramArea::ReadWriteMask(bool is64_view) const {
  return AccessMask(windows64(), KeyAccess::kReadWrite, is64_view);
}

bool CProgramArea::PathMissing(TextView path, bool use_safe_path_list) {
  if (path.empty()) return false;
  FileRefFlags flags;
  flags.use_safe_path_list = use_safe_path_list;
  return !FileValid(path, flags);
}

bool CProgramArea::ReferenceMissing(TextView text, bool use_safe_path_list) {
  return PathMissing(CleanPath(text), use_safe_path_list);
}

int CProgramArea::Report(int entry_type, TextView key, TextView value_name, TextView value_data, bool entry32,
                         const std::vector<Text>& details) {
  const int index = AddProblem(entry_type, key, value_name, value_data, u"", entry32);
  for (const Text& d : details) AddProblemDetail(index, d);
  return index;
}

Text CProgramArea::String(TextView key) const { return context().strings(key); }

}  // namespace hs
