#include "areas/activex.h"

#include "engine/scan_manager.h"

namespace hs {

namespace {

constexpr const char16_t* kServerKinds[] = {u"InprocServer32",  u"InprocServer",   u"LocalServer32",
                                            u"LocalServer",     u"InprocHandler32", u"InprocHandler"};
constexpr const char16_t* kInterfaceRefs[] = {u"ProxyStubClsid", u"ProxyStubClsid32", u"TypeLib",
                                              u"OLEViewerIViewerCLSID"};

const std::vector<Text>& TypeLibSkip() {
  static const std::vector<Text> skip = {u"\\win32", u"\\win64", u"\\helpdir"};
  return skip;
}
// Compared with the lower-cased path, so every entry is lower case.
const std::vector<Text>& InterfaceSkip() {
  static const std::vector<Text> skip = {u"\\proxystubclsid", u"\\proxystubclsid32", u"\\typelib",
                                         Lowercase(u"\\OLEViewerIViewerCLSID")};
  return skip;
}

const Text* FindName(const std::vector<Text>& names, TextView name) {
  for (const Text& n : names)
    if (EqualsNoCase(n, name)) return &n;
  return nullptr;
}

constexpr int kTypeMissingFile = 0;
constexpr int kTypeEmptyKey = 1;
constexpr int kTypeClassAppId = 2;
constexpr int kTypeClassTypeLib = 3;
constexpr int kTypeNoIcon = 4;
constexpr int kTypeHandler = 5;
constexpr int kTypeProgramAppId = 6;
constexpr int kTypeLibFileMissing = 7;
constexpr int kTypeHelpDirEmpty = 8;
constexpr int kTypeLibFileEmpty = 9;
constexpr int kTypeHelpDirMissing = 10;
constexpr int kTypeInterfaceClass = 11;
constexpr int kTypeInterfaceTypeLib = 12;
constexpr int kTypeBitmapMissing = 42;

}  // namespace

CActiveX::CActiveX(ScanManager& manager) : CClassesArea(0x0001, manager) {}

bool CActiveX::PrepareScan() { return true; }

int CActiveX::Scan() {
  (void)PrepareScan();
  ForgetRegistered();
  return windows64() ? ScanClasses64() : ScanClasses();
}

int CActiveX::ScanClasses() { return RunPass(Pass(true, true)); }

int CActiveX::ScanClasses64() {
  if (RunPass(Pass(true, true)) == 2) return 2;
  return ScanClasses32();
}

int CActiveX::ScanClasses32() { return RunPass(Pass(false, true)); }

bool CActiveX::ListTree(const ClassesPass& pass, TextView tree, std::vector<Text>* names) {
  names->clear();
  if (windows64() && !pass.is64_view && SharedByViews(tree)) return false;
  KeyHolder key(env().registry);
  if (OpenForReading(&key, kHkeyClassesRoot, tree, pass) != err::kSuccess) return false;
  return EnumSubkeyNames(env(), key.get(), names);
}

bool CActiveX::SharedByViews(TextView tree) {
  RegKeyInfo info[2];
  for (int v = 0; v < 2; ++v) {
    KeyHolder key(env().registry);
    if (key.Open(kHkeyClassesRoot, tree, ReadMask(v == 1)) != err::kSuccess) return false;
    if (env().registry.QueryInfo(key.get(), &info[v]) != err::kSuccess) return false;
  }
  return info[0].last_write != 0 && info[0].last_write == info[1].last_write &&
         info[0].subkeys == info[1].subkeys && info[0].values == info[1].values;
}

int CActiveX::RunPass(const ClassesPass& pass) {
  std::vector<Text> names;
  if (ListTree(pass, u"CLSID", &names))
    for (const Text& id : names)
      if (!CheckClass(pass, id)) return 2;
  if (ListTree(pass, u"AppID", &names))
    for (const Text& name : names) {
      if (BeginsWithBrace(name)) continue;
      if (!CheckAppIdName(pass, name)) return 2;
    }
  if (ListTree(pass, u"TypeLib", &names))
    for (const Text& id : names)
      if (!CheckTypeLib(pass, id)) return 2;
  if (ListTree(pass, u"Interface", &names))
    for (const Text& id : names)
      if (!CheckInterface(pass, id)) return 2;
  Sort();
  return IsCancelled() ? 2 : 1;
}

bool CActiveX::CheckClass(const ClassesPass& pass, const Text& clsid) {
  ReportProgress(pass.progress_prefix + u"CLSID: " + clsid);
  const Text path = u"CLSID\\" + clsid;
  const Text key = pass.key_prefix + path;
  Registry& reg = env().registry;
  KeyHolder cls(reg);
  if (OpenKey(&cls, kHkeyClassesRoot, path, pass) != err::kSuccess) return !IsCancelled();
  // One listing tells which of the subkeys below exist, instead of an open
  // attempt for each.
  std::vector<Text> subkeys;
  EnumSubkeyNames(env(), cls.get(), &subkeys);
  Text class_name = DefaultText(cls.get());
  if (class_name.empty()) class_name = clsid;
  const bool skip_empty = context().skip_empty_keys;

  for (const char16_t* kind : kServerKinds) {
    if (IsCancelled()) return false;
    const Text* name = FindName(subkeys, kind);
    if (!name) continue;
    KeyHolder server(reg);
    if (OpenKey(&server, cls.get(), *name, pass) != err::kSuccess) continue;
    const Text file = DefaultText(server.get());
    const Text server_key = key + u"\\" + kind;
    if (!file.empty()) {
      if (FileMissing(file)) Report(kTypeMissingFile, server_key, u"", file, pass.entry32, {class_name, kind});
    } else if (!skip_empty && KeyIsEmpty(server.get())) {
      Report(kTypeEmptyKey, server_key, u"", u"", pass.entry32, {class_name, kind});
    }
  }

  Text app_id;
  if (ReadText(cls.get(), u"AppID", &app_id) == ValueText::kText && !app_id.empty() &&
      !Registered(u"AppID\\" + app_id, pass))
    Report(kTypeClassAppId, key, u"AppID", app_id, pass.entry32, {class_name});

  if (const Text* name = FindName(subkeys, u"ProgID"); name && !skip_empty) {
    KeyHolder k(reg);
    if (OpenKey(&k, cls.get(), *name, pass) == err::kSuccess && KeyIsEmpty(k.get()))
      Report(kTypeEmptyKey, key + u"\\ProgID", u"", u"", pass.entry32, {class_name, u"ProgID"});
  }

  if (const Text* name = FindName(subkeys, u"TypeLib")) {
    KeyHolder k(reg);
    if (OpenKey(&k, cls.get(), *name, pass) == err::kSuccess) {
      const Text lib = DefaultText(k.get());
      if (LooksLikeGuid(lib) && !Registered(u"TypeLib\\" + lib, pass))
        Report(kTypeClassTypeLib, key + u"\\TypeLib", u"", lib, pass.entry32, {class_name});
    }
  }

  if (const Text* name = FindName(subkeys, u"DefaultIcon")) {
    KeyHolder k(reg);
    if (OpenKey(&k, cls.get(), *name, pass) == err::kSuccess) {
      const Text icon = DefaultText(k.get());
      const Text icon_key = key + u"\\DefaultIcon";
      if (icon.empty())
        Report(kTypeNoIcon, icon_key, u"", u"", pass.entry32, {class_name});
      else if (!windows64() && FileMissing(icon))
        Report(kTypeMissingFile, icon_key, u"", icon, pass.entry32, {class_name, u"DefaultIcon"});
    }
  }

  if (FindName(subkeys, u"ShellEx")) CheckHandlers(pass, cls.get(), clsid, class_name);
  if (IsCancelled()) return false;

  if (const Text* name = FindName(subkeys, u"ToolboxBitmap32")) {
    KeyHolder k(reg);
    if (OpenKey(&k, cls.get(), *name, pass) == err::kSuccess) {
      const Text bitmap = DefaultText(k.get());
      const Text bitmap_key = key + u"\\ToolboxBitmap32";
      if (!bitmap.empty()) {
        if (FileMissing(bitmap))
          Report(kTypeBitmapMissing, bitmap_key, u"", bitmap, pass.entry32, {class_name, u"ToolboxBitmap32"});
      } else if (KeyIsEmpty(k.get())) {
        // Reported whatever SetChkSkipEmptyKeys says.
        Report(kTypeEmptyKey, bitmap_key, u"", u"", pass.entry32, {class_name, u"ToolboxBitmap32"});
      }
    }
  }
  return !IsCancelled();
}

void CActiveX::CheckHandlers(const ClassesPass& pass, RegKey class_key, const Text& clsid, const Text& class_name) {
  Registry& reg = env().registry;
  const Text handlers_path = u"CLSID\\" + clsid + u"\\ShellEx\\ContextMenuHandlers";
  std::vector<Text> handlers;
  {
    KeyHolder k(reg);
    if (OpenForReading(&k, class_key, u"ShellEx\\ContextMenuHandlers", pass) != err::kSuccess) return;
    if (!EnumSubkeyNames(env(), k.get(), &handlers)) return;
  }
  for (const Text& handler : handlers) {
    if (IsCancelled()) return;
    const Text handler_key = pass.key_prefix + handlers_path + u"\\" + handler;
    Text target = handler;
    if (!BeginsWithBrace(handler)) {
      KeyHolder k(reg);
      if (OpenKey(&k, class_key, u"ShellEx\\ContextMenuHandlers\\" + handler, pass) != err::kSuccess) continue;
      target = DefaultText(k.get());
      if (!BeginsWithBrace(target)) continue;
    }
    if (!Registered(u"CLSID\\" + target, pass))
      Report(kTypeHandler, handler_key, u"", target, pass.entry32,
             {class_name, u"HKEY_CLASSES_ROOT\\CLSID\\" + target, target});
  }
}

bool CActiveX::CheckAppIdName(const ClassesPass& pass, const Text& name) {
  if (IsCancelled()) return false;
  ReportProgress(pass.progress_prefix + u"AppID: " + name);
  const Text path = u"AppID\\" + name;
  KeyHolder k(env().registry);
  if (OpenKey(&k, kHkeyClassesRoot, path, pass) != err::kSuccess) return true;
  Text app_id;
  if (ReadText(k.get(), u"AppID", &app_id) != ValueText::kText || app_id.empty()) return true;
  k.Reset();
  if (!Registered(u"AppID\\" + app_id, pass))
    Report(kTypeProgramAppId, pass.key_prefix + path, u"AppID", app_id, pass.entry32, {name});
  return true;
}

bool CActiveX::CheckTypeLib(const ClassesPass& pass, const Text& libid) {
  ReportProgress(pass.progress_prefix + u"TypeLib: " + libid);
  const Text lib_path = u"TypeLib\\" + libid;
  (void)FindEmptyKeys(kHkeyClassesRoot, lib_path, pass.is64_view, TypeLibSkip(), true);
  if (IsCancelled()) return false;

  Registry& reg = env().registry;
  KeyHolder lib(reg);
  if (OpenKey(&lib, kHkeyClassesRoot, lib_path, pass) != err::kSuccess) return true;
  std::vector<Text> versions;
  EnumSubkeyNames(env(), lib.get(), &versions);
  for (const Text& version : versions) {
    if (IsCancelled()) return false;
    KeyHolder ver(reg);
    if (OpenKey(&ver, lib.get(), version, pass) != err::kSuccess) continue;
    Text lib_name = DefaultText(ver.get());
    if (lib_name.empty()) lib_name = libid;
    std::vector<Text> locales;
    EnumSubkeyNames(env(), ver.get(), &locales);
    for (const Text& locale : locales) {
      // FLAGS and HELPDIR sit beside the locales and hold no platforms.
      if (EqualsNoCase(locale, u"FLAGS") || EqualsNoCase(locale, u"HELPDIR")) continue;
      if (IsCancelled()) return false;
      CheckTypeLibPlatform(pass, ver.get(), lib_path, version, locale, u"win32", lib_name);
      if (windows64()) CheckTypeLibPlatform(pass, ver.get(), lib_path, version, locale, u"win64", lib_name);
    }
    CheckHelpDir(pass, ver.get(), lib_path, libid, version, lib_name);
  }
  return !IsCancelled();
}

void CActiveX::CheckTypeLibPlatform(const ClassesPass& pass, RegKey version_key, const Text& lib_path,
                                    const Text& version, const Text& locale, TextView platform,
                                    const Text& lib_name) {
  const Text relative = locale + u"\\" + Text(platform);
  KeyHolder k(env().registry);
  if (OpenKey(&k, version_key, relative, pass) != err::kSuccess) return;
  const Text file = DefaultText(k.get());
  k.Reset();
  const Text key = pass.key_prefix + lib_path + u"\\" + version + u"\\" + relative;
  const std::vector<Text> details = {lib_name, version + u"\\" + relative};
  if (file.empty())
    Report(kTypeLibFileEmpty, key, u"", u"", pass.entry32, details);
  else if (FileMissing(file))
    Report(kTypeLibFileMissing, key, u"", file, pass.entry32, details);
}

void CActiveX::CheckHelpDir(const ClassesPass& pass, RegKey version_key, const Text& lib_path, const Text& libid,
                            const Text& version, const Text& lib_name) {
  Registry& reg = env().registry;
  KeyHolder k(reg);
  if (OpenKey(&k, version_key, u"HELPDIR", pass) != err::kSuccess) return;
  RegKeyInfo info;
  if (reg.QueryInfo(k.get(), &info) != err::kSuccess || info.values > 1) return;
  const Text folder = info.values == 1 ? DefaultText(k.get()) : Text();
  k.Reset();
  const Text key = pass.key_prefix + lib_path + u"\\" + version + u"\\HELPDIR";
  const std::vector<Text> details = {lib_name.empty() ? libid : lib_name, version + u"\\HELPDIR"};
  if (folder.empty()) {
    Report(kTypeHelpDirEmpty, key, u"", u"", pass.entry32, details);
    return;
  }
  FileReferences* refs = context().file_refs;
  if (!refs) return;
  const Text clean = CleanPath(folder);
  if (clean.empty() || refs->IsDirectory(clean) || IsCancelled()) return;
  Report(kTypeHelpDirMissing, key, u"", folder, pass.entry32, details);
}

bool CActiveX::CheckInterface(const ClassesPass& pass, const Text& iid) {
  ReportProgress(pass.progress_prefix + u"Interface: " + iid);
  const Text path = u"Interface\\" + iid;
  (void)FindEmptyKeys(kHkeyClassesRoot, path, pass.is64_view, InterfaceSkip(), true);
  Registry& reg = env().registry;
  KeyHolder iface(reg);
  if (OpenKey(&iface, kHkeyClassesRoot, path, pass) != err::kSuccess) return !IsCancelled();
  for (const char16_t* kind : kInterfaceRefs) {
    if (IsCancelled()) return false;
    KeyHolder k(reg);
    if (OpenKey(&k, iface.get(), kind, pass) != err::kSuccess) continue;
    const Text target = DefaultText(k.get());
    k.Reset();
    if (target.empty()) continue;
    const bool is_lib = TextView(kind) == u"TypeLib";
    if (Registered((is_lib ? u"TypeLib\\" : u"CLSID\\") + target, pass)) continue;
    Text name = DefaultText(iface.get());
    if (name.empty()) name = iid;
    Report(is_lib ? kTypeInterfaceTypeLib : kTypeInterfaceClass, pass.key_prefix + path + u"\\" + kind, u"", target,
           pass.entry32, {name});
  }
  return true;
}

}  // namespace hs
