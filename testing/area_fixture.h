// A scan manager with the real scan areas and file reference resolution on
// the build's registry and file system: natively a RegistryStore and a
// machine laid out in a temporary folder mapped as drive C: (64-bit Windows
// by default; 32-bit Windows on request), under Wine the real registry and
// the prefix's own drive C: (test files in a unique folder C:\<name>).
//
// Keys and values a test creates through the fixture are removed when it
// goes away (only what did not exist before), and so are its files: on the
// real registry a test sees the machine's own entries beside its own and
// must only judge its own.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <system_error>
#include <tuple>
#include <vector>

#include "areas/areas.h"
#include "areas/safe_lists.h"
#include "engine/file_reference.h"
#include "engine/registry_helpers.h"
#include "engine/scan_manager.h"
#include "platform/callback_notifier.h"
#include "platform/portable_key_protection.h"
#include "platform/portable_system_info.h"
#include "testing/memory_log.h"
#include "testing/test_env.h"
#ifdef _WIN32
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_shell_folders.h"
#include "platform/win32/win32_shell_links.h"
#include "platform/win32/win32_shell_paths.h"
#include "platform/win32/win32_system_info.h"
#else
#include "platform/portable/host_file_system.h"
#include "platform/portable/liblnk_shell_links.h"
#include "platform/portable/portable_shell_paths.h"
#include "platform/portable/portable_wow64.h"
#include "platform/store/registry_store.h"
#endif

namespace hs::testing {

class AreaFixture {
 public:
  // `windows64` is honoured natively only; the win32 build runs on the
  // machine it finds.
  explicit AreaFixture(bool windows64 = true)
      : name_(UniqueName("hs-areas")),
        registry_(MakeRegistry(windows64)),
        wow64_(MakeWow64(windows64)),
        system_(Facts(windows64)),
        notifier_([](const CallbackNotifier::Message&) {}),
        safe_(folders_),
        context_{*registry_, *wow64_, system_, protection_, notifier_, log_} {
    context_.strings = [](TextView key) { return key == u"IDS_MISSING_SHARED_FILE" ? Text(key) + u" %s" : Text(key); };
    context_.safe_lists = &safe_;
    context_.skip_empty_keys = false;
    manager_ = std::make_unique<ScanManager>(context_, CreateArea);
    root_ = u"C:\\" + name_;
#ifdef _WIN32
    host_ = std::filesystem::path(std::wstring(root_.begin(), root_.end()));
    shell_ = std::make_unique<Win32ShellPaths>();
#else
    host_ = std::filesystem::temp_directory_path() / ToUtf8(name_);
    std::filesystem::create_directories(host_);
    fs_.MapDrive(u'C', host_);
    ShellMachine m;
    m.drives = {{u'C', drive_type::kFixed}};
    m.environment = {
        {u"SystemRoot", u"C:\\Windows"}, {u"windir", u"C:\\Windows"}, {u"ProgramFiles", u"C:\\Program Files"}};
    m.search_path = {u"C:\\Windows\\system32", u"C:\\Windows"};
    m.windows64 = windows64;
    shell_ = std::make_unique<PortableShellPaths>(fs_, m);
    // What the tests rely on from a real Windows folder.
    Put(u"C:\\Windows\\system32\\msiexec.exe");
    if (windows64) Put(u"C:\\Windows\\SysWOW64\\msiexec.exe");
#endif
    (void)fs_.CreateDirectories(root_);
    refs_ = std::make_unique<FileReferences>(*shell_, manager_->reg(), &safe_, manager_->system_folder(),
                                             manager_->system_folder32());
    context_.file_refs = refs_.get();
    context_.shell = shell_.get();
#ifdef _WIN32
    links_ = std::make_unique<Win32ShellLinks>();
#else
    links_ = std::make_unique<LiblnkShellLinks>(fs_, *shell_);
#endif
    context_.folders = &folders_;
    // The machine's fonts and Windows folders.
#ifdef _WIN32
    Win32ShellFolders machine;
    for (int csidl : {0x14, 0x24}) folders_.special[csidl] = machine.SpecialFolderPath(csidl);
#else
    folders_.special[0x14] = u"C:\\Windows\\Fonts";
    folders_.special[0x24] = u"C:\\Windows";
#endif
    context_.fs = &fs_;
    context_.links = links_.get();
    manager_->CreateAreas(kAllAreasMask, kAreaCount);
  }

  ~AreaFixture() {
    manager_.reset();
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      RegKey k = 0;
      if (registry_->Open(it->root, it->subkey, kKeyAllAccess | it->view, &k) != err::kSuccess) continue;
      (void)registry_->SetValue(k, it->name, it->value.type, it->value.data);
      registry_->Close(k);
    }
    for (auto it = values_.rbegin(); it != values_.rend(); ++it) {
      RegKey k = 0;
      if (registry_->Open(std::get<0>(*it), std::get<1>(*it), kKeyAllAccess | std::get<2>(*it), &k) != err::kSuccess)
        continue;
      (void)registry_->DeleteValue(k, std::get<3>(*it));
      registry_->Close(k);
    }
    for (auto it = keys_.rbegin(); it != keys_.rend(); ++it)
      (void)registry_->DeleteTree(std::get<0>(*it), std::get<1>(*it), std::get<2>(*it));
    for (const Text& f : system_files_) (void)fs_.DeleteFile(f);
    std::error_code ec;
    std::filesystem::remove_all(host_, ec);
  }
  AreaFixture(const AreaFixture&) = delete;
  AreaFixture& operator=(const AreaFixture&) = delete;

  // ---- Machine ----
  bool windows64() const { return manager_->reg().windows64; }
  Registry& registry() { return *registry_; }
  ScanManager& manager() { return *manager_; }
  ScanContext& context() { return context_; }
  SafeLists& safe_lists() { return safe_; }
  const Text& name() const { return name_; }
  // The test's own folder on drive C:, without a trailing backslash.
  const Text& root() const { return root_; }
  Text Path(TextView relative) const { return root_ + u"\\" + Text(relative); }

  // Creates a file (and its folders). Files outside root() are removed at
  // the end; they must not exist before.
  void Put(const Text& path) {
    const auto slash = path.rfind(u'\\');
    (void)fs_.CreateDirectories(path.substr(0, slash));
    if (!StartsWithNoCase(path, root_ + u"\\")) system_files_.push_back(path);
    (void)fs_.WriteFileAtomic(path, std::vector<std::uint8_t>{'x'});
  }
  void MakeFolder(const Text& path) { (void)fs_.CreateDirectories(path); }
  // Creates a file with the given bytes, as Put does.
  void PutBytes(const Text& path, const std::vector<std::uint8_t>& bytes) {
    const auto slash = path.rfind(u'\\');
    (void)fs_.CreateDirectories(path.substr(0, slash));
    if (!StartsWithNoCase(path, root_ + u"\\")) system_files_.push_back(path);
    (void)fs_.WriteFileAtomic(path, bytes);
  }
  // The special folder the areas are told of for a CSIDL number (none
  // unless set; the shell of the machine is not asked).
  void SetSpecialFolder(int csidl, const Text& path) { folders_.special[csidl] = path; }

  // ---- Registry ----
  // The view mask of a view on 64-bit Windows; none elsewhere.
  std::uint32_t View(bool view64) const {
    if (!windows64()) return 0;
    return view64 ? kKeyWow64_64Key : kKeyWow64_32Key;
  }
  // Creates a key in a view; the part of its path that did not exist is
  // removed at the end.
  void Key(RegKey root, TextView subkey, bool view64) {
    const std::uint32_t view = View(view64);
    Text existing(subkey);
    Text first_new;
    for (;;) {
      RegKey k = 0;
      if (registry_->Open(root, existing, kKeyRead | view, &k) == err::kSuccess) {
        registry_->Close(k);
        break;
      }
      first_new = existing;
      const auto slash = existing.rfind(u'\\');
      if (slash == Text::npos) break;
      existing.resize(slash);
    }
    RegKey k = 0;
    if (registry_->Create(root, subkey, kKeyAllAccess | view, &k, nullptr) != err::kSuccess) return;
    registry_->Close(k);
    if (!first_new.empty()) keys_.emplace_back(root, first_new, view);
  }
  void Set(RegKey root, TextView subkey, bool view64, TextView name, std::uint32_t type,
           const std::vector<std::uint8_t>& data) {
    Key(root, subkey, view64);
    RegKey k = 0;
    if (registry_->Open(root, subkey, kKeyAllAccess | View(view64), &k) != err::kSuccess) return;
    bool existed = registry_->QueryValue(k, name, nullptr) == err::kSuccess;
    if (registry_->SetValue(k, name, type, data) == err::kSuccess && !existed)
      values_.emplace_back(root, Text(subkey), View(view64), Text(name));
    registry_->Close(k);
  }
  void Sz(RegKey root, TextView subkey, bool view64, TextView name, TextView text) {
    Set(root, subkey, view64, name, kRegSz, Utf16z(text));
  }
  // Sets a value that may exist already (a machine setting); its old data
  // comes back at the end.
  void Override(RegKey root, TextView subkey, bool view64, TextView name, std::uint32_t type,
                const std::vector<std::uint8_t>& data) {
    RegKey k = 0;
    if (registry_->Open(root, subkey, kKeyRead | View(view64), &k) == err::kSuccess) {
      RegValue old;
      if (registry_->QueryValue(k, name, &old) == err::kSuccess)
        saved_.push_back(Saved{root, Text(subkey), View(view64), Text(name), old});
      registry_->Close(k);
    }
    Set(root, subkey, view64, name, type, data);
  }
  void Dword(RegKey root, TextView subkey, bool view64, TextView name, std::uint32_t v) {
    Set(root, subkey, view64, name, kRegDword,
        {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
         static_cast<std::uint8_t>(v >> 24)});
  }
  // Whether a key can be opened in a view (the views share some keys).
  bool Visible(RegKey root, TextView subkey, bool view64) {
    RegKey k = 0;
    if (registry_->Open(root, subkey, kKeyRead | View(view64), &k) != err::kSuccess) return false;
    registry_->Close(k);
    return true;
  }
  bool ValueVisible(RegKey root, TextView subkey, TextView name, bool view64) {
    RegKey k = 0;
    if (registry_->Open(root, subkey, kKeyRead | View(view64), &k) != err::kSuccess) return false;
    const bool found = registry_->QueryValue(k, name, nullptr) == err::kSuccess;
    registry_->Close(k);
    return found;
  }
  static std::vector<std::uint8_t> Utf16z(TextView text) {
    std::vector<std::uint8_t> b = ToUtf16leBytes(text);
    b.push_back(0);
    b.push_back(0);
    return b;
  }

  // ---- Areas and problems ----
  template <class Area>
  Area& area(std::uint32_t bit) {
    return static_cast<Area&>(*manager_->AreaByBit(bit));
  }
  // The problems of an area whose key (case-sensitive) and value name match.
  std::vector<const CProblem*> Find(std::uint32_t bit, TextView key, TextView value_name = u"") {
    std::vector<const CProblem*> out;
    for (const auto& p : manager_->AreaByBit(bit)->problems())
      if (p->key == key && p->value_name == value_name) out.push_back(p.get());
    return out;
  }
  // The one problem of that key and value name found in a view; null when
  // there is none.
  const CProblem* FindIn(std::uint32_t bit, TextView key, TextView value_name, bool view64) {
    const int entry32 = windows64() && !view64 ? 1 : 0;
    for (const CProblem* p : Find(bit, key, value_name))
      if (p->entry32 == entry32) return p;
    return nullptr;
  }
  // Problems of an area whose key contains the fixture's unique name.
  std::size_t OwnCount(std::uint32_t bit) {
    std::size_t n = 0;
    for (const auto& p : manager_->AreaByBit(bit)->problems())
      if (p->key.find(name_) != Text::npos || p->value_name.find(name_) != Text::npos) ++n;
    return n;
  }

 private:
  class TestFolders final : public ShellFolders {
   public:
    Text AppDataFolder() override { return {}; }
    Text SpecialFolderPath(int csidl) override {
      const auto it = special.find(csidl);
      return it == special.end() ? Text() : it->second;
    }
    std::map<int, Text> special;
  };

#ifdef _WIN32
  static std::unique_ptr<Registry> MakeRegistry(bool) { return MakeContractRegistry(); }
  static std::unique_ptr<Wow64> MakeWow64(bool) { return MakeContractWow64(); }
  static MachineFacts Facts(bool) {
    Win32SystemInfo real;
    return MachineFacts{real.MajorVersion(), real.IsAdministrator(), real.SystemDirectory(),
                        real.SystemWow64Directory()};
  }
#else
  static std::unique_ptr<Registry> MakeRegistry(bool windows64) {
    RegistryStore::Options o;
    o.windows64 = windows64;
    return std::make_unique<RegistryStore>(o);
  }
  static std::unique_ptr<Wow64> MakeWow64(bool windows64) { return std::make_unique<PortableWow64>(windows64); }
  static MachineFacts Facts(bool windows64) {
    MachineFacts f;
    if (!windows64) f.system_wow64_directory.clear();
    return f;
  }
#endif

  Text name_;
  std::unique_ptr<Registry> registry_;
  std::unique_ptr<Wow64> wow64_;
  PortableSystemInfo system_;
  PortableKeyProtection protection_;
  CallbackNotifier notifier_;
  MemoryLog log_;
  TestFolders folders_;
  SafeLists safe_;
  ScanContext context_;
  std::unique_ptr<ScanManager> manager_;
  // Like the scan worker, the test thread sees the 64-bit system folder.
  FsRedirectionOff redirection_{*wow64_, wow64_->IsWow64Process()};
  Text root_;
  std::filesystem::path host_;
#ifdef _WIN32
  Win32FileSystem fs_;
#else
  HostFileSystem fs_;
#endif
  std::unique_ptr<ShellPaths> shell_;
  std::unique_ptr<FileReferences> refs_;
  std::unique_ptr<ShellLinks> links_;
  std::vector<Text> system_files_;
  std::vector<std::tuple<RegKey, Text, std::uint32_t>> keys_;
  std::vector<std::tuple<RegKey, Text, std::uint32_t, Text>> values_;
  struct Saved {
    RegKey root;
    Text subkey;
    std::uint32_t view;
    Text name;
    RegValue value;
  };
  std::vector<Saved> saved_;
};

}  // namespace hs::testing
