#include "areas/file_types.h"

#include "engine/scan_manager.h"

namespace hs {

namespace {

constexpr int kTypeUnregisteredType = 15;
constexpr int kTypeEmptyEntry = 16;
constexpr int kTypeIconMissing = 17;
constexpr int kTypeNoIcon = 18;
constexpr int kTypeClass = 19;
constexpr int kTypeHandlerNoClass = 20;
constexpr int kTypeCommandMissing = 21;
constexpr int kTypeNoCommand = 22;

const Text* FindName(const std::vector<Text>& names, TextView name) {
  for (const Text& n : names)
    if (EqualsNoCase(n, name)) return &n;
  return nullptr;
}

bool BeginsWithPercentOne(TextView text) { return text.size() >= 2 && text[0] == u'%' && text[1] == u'1'; }

}  // namespace

Text ExtensionDetail(const Text& extension) { return Upcase(extension) + u" file (*" + extension + u")"; }

CFileTypes::CFileTypes(ScanManager& manager) : CClassesArea(0x0004, manager) {}

bool CFileTypes::PrepareScan() { return true; }

int CFileTypes::Scan() {
  (void)PrepareScan();
  ForgetRegistered();
  return windows64() ? ScanTypes64() : ScanTypes();
}

int CFileTypes::ScanTypes() { return RunPass(Pass(true, false)); }

int CFileTypes::ScanTypes64() {
  if (RunPass(Pass(true, false)) == 2) return 2;
  return ScanTypes32();
}

int CFileTypes::ScanTypes32() { return RunPass(Pass(false, false)); }

int CFileTypes::RunPass(const ClassesPass& pass) {
  std::vector<Text> names;
  {
    KeyHolder root(env().registry);
    if (OpenForReading(&root, kHkeyClassesRoot, u"", pass) == err::kSuccess)
      EnumSubkeyNames(env(), root.get(), &names);
  }
  for (const Text& name : names) {
    if (IsCancelled()) return 2;
    CheckName(pass, name);
  }
  Sort();
  return IsCancelled() ? 2 : 1;
}

void CFileTypes::Add(int entry_type, const Text& key, const Text& value_data, const ClassesPass& pass,
                     const std::vector<Text>& details) {
  if (HasProblem(key, entry_type)) return;
  Report(entry_type, key, u"", value_data, pass.entry32, details);
}

void CFileTypes::DropRepeats(std::size_t from) {
  for (std::size_t i = problems().size(); i-- > from;) {
    const CProblem& p = *problems()[i];
    for (std::size_t j = 0; j < from; ++j) {
      const CProblem& q = *problems()[j];
      if (q.entry_type == p.entry_type && q.key == p.key) {
        Remove(i);
        break;
      }
    }
  }
}

void CFileTypes::CheckName(const ClassesPass& pass, const Text& name) {
  if (name.empty()) return;
  ReportProgress(u"File Type: " + name);
  Registry& reg = env().registry;
  KeyHolder type_key(reg);
  if (OpenKey(&type_key, kHkeyClassesRoot, name, pass) != err::kSuccess) return;
  const Text key = pass.key_prefix + name;
  const bool skip_empty = context().skip_empty_keys;
  const Text value = DefaultText(type_key.get());
  Text desc = value.empty() ? name : value;

  if (name.front() == u'.') {
    const std::vector<Text> details = {ExtensionDetail(name), name};
    if (!value.empty()) {
      if (!RegisteredInView(value, pass)) Add(kTypeUnregisteredType, key, value, pass, details);
    } else if (NoSubkeysNorNamedValues(type_key.get())) {
      if (!skip_empty) Add(kTypeEmptyEntry, key, u"", pass, details);
      return;
    }
  } else if (value.empty() && NoSubkeysNorNamedValues(type_key.get())) {
    if (!skip_empty) Add(kTypeEmptyEntry, key, u"", pass, {name});
    return;
  }

  CheckClassSubkey(pass, type_key.get(), name, desc);
  CheckVerbs(pass, type_key.get(), name, desc, name.front() == u'.');
  CheckDefaultIcon(pass, type_key.get(), name, desc);
  CheckHandlers(pass, type_key.get(), name, desc);
}

void CFileTypes::CheckClassSubkey(const ClassesPass& pass, RegKey type_key, const Text& name, const Text& desc) {
  KeyHolder k(env().registry);
  if (OpenKey(&k, type_key, u"CLSID", pass) != err::kSuccess) return;
  const Text key = pass.key_prefix + name + u"\\CLSID";
  const Text clsid = DefaultText(k.get());
  if (!clsid.empty()) {
    if (LooksLikeGuid(clsid) && !Registered(u"CLSID\\" + clsid, pass))
      Add(kTypeClass, key, clsid, pass, {desc, u"HKEY_CLASSES_ROOT\\CLSID\\" + clsid});
  } else if (!context().skip_empty_keys && NoSubkeysNorNamedValues(k.get())) {
    Add(kTypeEmptyEntry, key, u"", pass, {desc});
  }
}

void CFileTypes::CheckVerbs(const ClassesPass& pass, RegKey type_key, const Text& name, const Text& desc,
                            bool extension) {
  KeyHolder shell(env().registry);
  if (OpenKey(&shell, type_key, u"shell", pass) != err::kSuccess) return;
  std::vector<Text> verbs;
  if (!EnumSubkeyNames(env(), shell.get(), &verbs)) {
    shell.Reset();
    const Text shell_path = name + u"\\shell";
    if (extension) {
      const std::size_t before = problems().size();
      (void)FindEmptyKeys(kHkeyClassesRoot, shell_path, pass.is64_view, {}, true);
      DropRepeats(before);
    } else {
      // Reported whatever SetChkSkipEmptyKeys says.
      Add(kTypeNoCommand, pass.key_prefix + shell_path, u"", pass, {desc, u"shell", u"shell1"});
    }
    return;
  }
  for (const Text& verb : verbs) {
    if (IsCancelled()) return;
    CheckVerb(pass, shell.get(), name, verb, desc);
  }
}

void CFileTypes::CheckVerb(const ClassesPass& pass, RegKey shell_key, const Text& name, const Text& verb,
                           const Text& desc) {
  Registry& reg = env().registry;
  const bool vista = manager().major_version() > 5;
  const Text verb_key = pass.key_prefix + name + u"\\shell\\" + verb;
  KeyHolder command(reg);
  const WinError e = OpenKey(&command, shell_key, verb + u"\\command", pass);
  if (e == err::kAccessDenied) return;
  if (e == err::kSuccess) {
    Text text;
    if (vista && ReadText(command.get(), u"DelegateExecute", &text) == ValueText::kText && !text.empty()) return;
    // An installer-advertised verb runs its program through the descriptor
    // in the value "command".
    if (reg.QueryValue(command.get(), u"command", nullptr) == err::kSuccess) return;
    const Text line = DefaultText(command.get());
    command.Reset();
    const Text key = verb_key + u"\\command";
    if (line.empty()) {
      Add(kTypeCommandMissing, key, u"", pass, {desc, verb});
      return;
    }
    if (BeginsWithPercentOne(CleanPath(line))) return;
    if (FileMissing(line)) Add(kTypeCommandMissing, key, line, pass, {desc, verb});
    return;
  }

  // No command key.
  KeyHolder vk(reg);
  if (OpenKey(&vk, shell_key, verb, pass) != err::kSuccess) return;
  std::vector<Text> subkeys;
  if (EnumSubkeyNames(env(), vk.get(), &subkeys)) {
    // A drop target, or a DDE conversation with the running program.
    if (FindName(subkeys, u"DropTarget") || FindName(subkeys, u"ddeexec")) return;
  } else {
    Text mui;
    if (ReadText(vk.get(), u"MUIVerb", &mui) == ValueText::kText && !mui.empty() && !FileMissing(mui)) return;
  }
  // Verbs of Windows 6 that run through a COM object instead of a command.
  if (vista) {
    for (const char16_t* handler : {u"DelegateExecute", u"ExplorerCommandHandler"}) {
      Text text;
      if (ReadText(vk.get(), handler, &text) == ValueText::kText && !text.empty()) return;
    }
  }
  vk.Reset();
  if (!context().skip_empty_keys) Add(kTypeNoCommand, verb_key, u"", pass, {desc, verb});
}

void CFileTypes::CheckDefaultIcon(const ClassesPass& pass, RegKey type_key, const Text& name, const Text& desc) {
  KeyHolder k(env().registry);
  if (OpenKey(&k, type_key, u"DefaultIcon", pass) != err::kSuccess) return;
  const Text icon = DefaultText(k.get());
  k.Reset();
  const Text key = pass.key_prefix + name + u"\\DefaultIcon";
  if (icon.empty()) {
    Add(kTypeNoIcon, key, u"", pass, {desc});
    return;
  }
  // "%1": the icon is taken from the file itself.
  if (BeginsWithPercentOne(icon) || BeginsWithPercentOne(CleanPath(icon))) return;
  if (FileMissing(icon)) Add(kTypeIconMissing, key, icon, pass, {desc, icon});
}

void CFileTypes::CheckHandlers(const ClassesPass& pass, RegKey type_key, const Text& name, const Text& desc) {
  Registry& reg = env().registry;
  KeyHolder handlers_key(reg);
  if (OpenForReading(&handlers_key, type_key, u"ShellEx\\ContextMenuHandlers", pass) != err::kSuccess) return;
  std::vector<Text> handlers;
  if (!EnumSubkeyNames(env(), handlers_key.get(), &handlers)) return;
  const Text prefix = pass.key_prefix + name + u"\\ShellEx\\ContextMenuHandlers\\";
  for (const Text& handler : handlers) {
    if (IsCancelled()) return;
    // A handler named by its class identifier is left alone.
    if (BeginsWithBrace(handler)) continue;
    KeyHolder k(reg);
    if (OpenKey(&k, handlers_key.get(), handler, pass) != err::kSuccess) continue;
    Text clsid;
    const ValueText read = ReadText(k.get(), u"", &clsid);
    k.Reset();
    if (read == ValueText::kText && !clsid.empty()) {
      if (LooksLikeGuid(clsid) && !Registered(u"CLSID\\" + clsid, pass))
        Add(kTypeClass, prefix + handler, clsid, pass, {desc, handler, u"HKEY_CLASSES_ROOT\\CLSID\\" + clsid});
    } else {
      Add(kTypeHandlerNoClass, prefix + handler, u"", pass, {desc, handler});
    }
  }
}

}  // namespace hs
