#include "areas/class_keys.h"

namespace hs {

bool LooksLikeGuid(TextView text) { return !text.empty() && (text.front() == u'{' || text.back() == u'}'); }

ClassesPass CClassesArea::Pass(bool is64_view, bool wow_prefix) const {
  ClassesPass p;
  p.is64_view = is64_view;
  p.both_views = windows64();
  p.entry32 = Entry32(is64_view);
  const bool wow = windows64() && !is64_view && wow_prefix;
  p.key_prefix = wow ? u"HKEY_CLASSES_ROOT\\Wow6432Node\\" : u"HKEY_CLASSES_ROOT\\";
  p.progress_prefix = windows64() && !is64_view ? u"Wow6432Node\\" : u"";
  return p;
}

WinError CClassesArea::OpenKey(KeyHolder* holder, RegKey parent, TextView subkey, const ClassesPass& pass) const {
  WinError e = holder->Open(parent, subkey, ReadWriteMask(pass.is64_view));
  if (e == err::kAccessDenied) e = holder->Open(parent, subkey, ReadMask(pass.is64_view));
  return e;
}

WinError CClassesArea::OpenForReading(KeyHolder* holder, RegKey parent, TextView subkey,
                                      const ClassesPass& pass) const {
  return holder->Open(parent, subkey, ReadMask(pass.is64_view));
}

ValueText CClassesArea::ReadText(RegKey key, TextView name, Text* text) const {
  return ReadValueText(env().registry, key, name, kMaxClassValueChars, text);
}

Text CClassesArea::DefaultText(RegKey key) const {
  Text t;
  (void)ReadText(key, u"", &t);
  return t;
}

bool CClassesArea::KeyIsEmpty(RegKey key) const {
  RegKeyInfo info;
  if (env().registry.QueryInfo(key, &info) != err::kSuccess) return false;
  if (info.subkeys != 0 || info.values > 1) return false;
  if (info.values == 0) return true;
  return DefaultText(key).empty();
}

bool CClassesArea::NoSubkeysNorNamedValues(RegKey key) const {
  RegKeyInfo info;
  if (env().registry.QueryInfo(key, &info) != err::kSuccess) return false;
  if (info.subkeys != 0) return false;
  if (info.values == 0) return true;
  if (info.values > 1) return false;
  // One value: only the unnamed one keeps the key "without named values".
  return env().registry.QueryValue(key, u"", nullptr) == err::kSuccess;
}

bool CClassesArea::OpensInView(TextView subkey, bool is64_view) const {
  KeyHolder k(env().registry);
  const WinError e = k.Open(kHkeyClassesRoot, subkey, ReadMask(is64_view));
  return e == err::kSuccess || e == err::kAccessDenied;
}

bool CClassesArea::Registered(TextView subkey, const ClassesPass& pass) {
  return Lookup(subkey, pass, pass.both_views);
}

bool CClassesArea::RegisteredInView(TextView subkey, const ClassesPass& pass) { return Lookup(subkey, pass, false); }

bool CClassesArea::Lookup(TextView subkey, const ClassesPass& pass, bool either_view) {
  if (subkey.empty()) return true;
  // Keyed by the views asked: "*" either, "6" / "3" one of them.
  const Text id = Text(either_view ? u"*" : pass.is64_view ? u"6" : u"3") + Upcase(subkey);
  auto it = registered_.find(id);
  if (it != registered_.end()) return it->second;
  bool found = OpensInView(subkey, pass.is64_view);
  if (!found && either_view) found = OpensInView(subkey, !pass.is64_view);
  registered_.emplace(id, found);
  return found;
}

}  // namespace hs
