#include "engine/registry_helpers.h"

namespace hs {

namespace {
struct RootEntry {
  const char16_t* name;
  RegKey key;
};
constexpr RootEntry kRoots[] = {
    {u"HKEY_CLASSES_ROOT", kHkeyClassesRoot},   {u"HKEY_CURRENT_USER", kHkeyCurrentUser},
    {u"HKEY_LOCAL_MACHINE", kHkeyLocalMachine}, {u"HKEY_USERS", kHkeyUsers},
    {u"HKEY_CURRENT_CONFIG", kHkeyCurrentConfig},
};

// Capacities in characters including the terminator: every legal key name
// (up to 255) fits; value names up to 1024 characters are listed.
constexpr std::uint32_t kSubkeyNameCapacity = 256;
constexpr std::uint32_t kValueNameCapacity = 1025;
}  // namespace

RegKey RootFromName(TextView name) {
  for (const auto& r : kRoots)
    if (name == r.name) return r.key;
  return 0;
}

Text RootName(RegKey root) {
  for (const auto& r : kRoots)
    if (root == r.key) return r.name;
  return {};
}

bool SplitKeyPath(TextView key_path, RegKey* root, Text* subkey) {
  auto pos = key_path.find(u'\\');
  if (pos == TextView::npos) return false;
  *root = RootFromName(key_path.substr(0, pos));
  if (!*root) return false;
  *subkey = Text(key_path.substr(pos + 1));
  return true;
}

std::uint32_t AccessMask(bool windows64, KeyAccess wanted, bool is64) {
  std::uint32_t mask = wanted == KeyAccess::kRead ? kKeyRead : (kKeyRead | kKeySetValue | kKeyCreateSubKey);
  if (windows64) mask |= is64 ? kKeyWow64_64Key : kKeyWow64_32Key;
  return mask;
}

WinError KeyHolder::Open(RegKey root, TextView subkey, std::uint32_t mask, bool create) {
  Reset();
  RegKey k = 0;
  WinError e = registry_->Open(root, subkey, mask, &k);
  if (e != err::kSuccess && create && mask != kKeyRead) e = registry_->Create(root, subkey, mask, &k, nullptr);
  if (e == err::kSuccess) key_ = k;
  return e;
}

void KeyHolder::Reset() {
  if (key_) registry_->Close(key_);
  key_ = 0;
}

bool ReadStringValue(const RegEnv& env, RegKey root, TextView subkey, TextView value_name, RegView view,
                     Text* text) {
  text->clear();
  if (view == RegView::kDefault && env.windows64) return true;
  const bool is64 = view == RegView::k64;
  KeyHolder key(env.registry);
  WinError e = key.Open(root, subkey, AccessMask(env.windows64, KeyAccess::kReadWrite, is64));
  if (e == err::kAccessDenied) e = key.Open(root, subkey, AccessMask(env.windows64, KeyAccess::kRead, is64));
  if (e != err::kSuccess) return false;
  RegValue v;
  if (env.registry.QueryValue(key.get(), value_name, &v) != err::kSuccess) return true;
  if (v.type != kRegSz && v.type != kRegExpandSz) return true;
  if (v.data.empty()) return true;
  if (v.data.size() % 2 != 0) return true;
  Text raw = FromUtf16leBytes(v.data.data(), v.data.size());
  if (raw.back() != u'\0') return true;
  raw.resize(raw.find(u'\0'));
  *text = Trim(raw);
  return true;
}

bool EnumSubkeyNames(const RegEnv& env, RegKey key, std::vector<Text>* names) {
  names->clear();
  RegKeyInfo info;
  if (env.registry.QueryInfo(key, &info) != err::kSuccess) return false;
  for (std::uint32_t i = 0; i < info.subkeys; ++i) {
    Text name;
    if (env.registry.EnumKey(key, i, kSubkeyNameCapacity, &name) != err::kSuccess) continue;
    if (env.windows64 && StartsWithNoCase(Trim(name), u"wow6432node")) continue;
    names->push_back(std::move(name));
  }
  return !names->empty();
}

std::size_t EnumValueNames(const RegEnv& env, RegKey key, std::vector<Text>* names) {
  names->clear();
  RegKeyInfo info;
  if (env.registry.QueryInfo(key, &info) != err::kSuccess) return 0;
  for (std::uint32_t i = 0; i < info.values; ++i) {
    Text name;
    if (env.registry.EnumValue(key, i, kValueNameCapacity, 0, &name, nullptr) != err::kSuccess) continue;
    names->push_back(std::move(name));
  }
  return names->size();
}

bool ValueExists(const RegEnv& env, RegKey key, TextView value_name) {
  return env.registry.QueryValue(key, value_name, nullptr) == err::kSuccess;
}

FsRedirectionOff::FsRedirectionOff(Wow64& wow64, bool windows64) : wow64_(wow64) {
  if (windows64) active_ = wow64_.DisableFsRedirection(&cookie_);
}

FsRedirectionOff::~FsRedirectionOff() {
  if (active_ && !keep_) (void)wow64_.RevertFsRedirection(cookie_);
}

}  // namespace hs
