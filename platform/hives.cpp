#include "platform/hives.h"

#include "platform/hive_limits.h"

namespace hs {
namespace {

std::uint32_t View(bool windows64) { return windows64 ? kKeyWow64_64Key : 0; }

}  // namespace

WinError ReadBootExecuteFrom(Registry& registry, bool windows64, RegValue* out) {
  RegKey key = 0;
  if (WinError e = registry.Open(kHkeyLocalMachine, kSessionManagerKey, kKeyRead | View(windows64), &key)) return e;
  const WinError e = registry.QueryValue(key, kBootExecuteValue, out);
  registry.Close(key);
  return e;
}

WinError WriteBootExecuteTo(Registry& registry, bool windows64, const RegValue& value) {
  RegKey key = 0;
  if (WinError e = registry.Open(kHkeyLocalMachine, kSessionManagerKey, kKeyAllAccess | View(windows64), &key))
    return e;
  const WinError e = registry.SetValue(key, kBootExecuteValue, value.type, value.data);
  registry.Close(key);
  return e;
}

WinError ReadHiveListFrom(Registry& registry, bool windows64, std::vector<LoadedHive>* out) {
  out->clear();
  RegKey key = 0;
  if (WinError e = registry.Open(kHkeyLocalMachine, kHiveListKey, kKeyRead | View(windows64), &key)) return e;
  for (std::uint32_t i = 0;; ++i) {
    Text name;
    RegValue value;
    const WinError e = registry.EnumValue(key, i, kMaxHiveNameChars + 1, kMaxHivePathBytes, &name, &value);
    if (e == err::kNoMoreItems) break;
    if (e == err::kMoreData) continue;  // beyond the limits: skipped
    if (e != err::kSuccess) {
      registry.Close(key);
      return e;
    }
    if (value.type != kRegSz && value.type != kRegExpandSz) continue;
    Text path = FromUtf16leBytes(value.data.data(), value.data.size() & ~std::size_t{1});
    const std::size_t nul = path.find(u'\0');
    if (nul != Text::npos) path.resize(nul);
    out->push_back({std::move(name), std::move(path)});
  }
  registry.Close(key);
  return err::kSuccess;
}

}  // namespace hs
