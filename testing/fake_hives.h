// A Hives double that keeps everything in memory: the hivelist, the fixed
// drives, files by path (compared without regard to case), BootExecute and
// the shutdown calls. A compact copy is a file of the size set per hive.
// Faults are set per operation. For tests only.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <vector>

#include "platform/hives.h"

namespace hs::testing {

class FakeHives final : public Hives, public HiveFileCompactor {
 public:
  FakeHives() {
    folders.system_dir = u"C:\\Windows\\system32";
    folders.system_dir_short = u"C:\\WINDOWS\\SYSTEM32";
    folders.windows_dir = u"C:\\Windows";
    folders.local_app_data = u"C:\\Users\\demo\\AppData\\Local";
    folders.profiles_dir = u"C:\\Users";
    drives = {{u"C:", u"\\Device\\HarddiskVolume1"}};
  }

  // A hivelist entry whose file (a drive path under C: given as a device
  // path) holds `size` bytes and compacts to `compact` bytes.
  void AddHive(TextView name, TextView drive_path, std::uint32_t size, std::uint32_t compact) {
    hivelist.push_back({Text(name), u"\\Device\\HarddiskVolume1" + Text(drive_path.substr(2))});
    files[Upcase(drive_path)] = std::vector<std::uint8_t>(size, 0x55);
    compact_sizes[Upcase(name)] = compact;
  }
  bool HasFile(TextView path) const { return files.count(Upcase(path)) != 0; }
  const std::vector<std::uint8_t>& File(TextView path) { return files[Upcase(path)]; }
  void PutFile(TextView path, std::vector<std::uint8_t> bytes) { files[Upcase(path)] = std::move(bytes); }

  bool EnablePrivileges() override { return privileges; }
  WinError ListLoaded(std::vector<LoadedHive>* out) override {
    *out = hivelist;
    return list_error;
  }
  std::vector<DriveDevice> FixedDrives() override { return drives; }
  HiveFolders Folders() override { return folders; }
  int WindowsMinorVersion() override { return minor_version; }
  Text SystemMessage(WinError e) override { return u"message " + ToText(e); }
  void FlushRoots() override { ++flushes; }
  void SetAnalysisPriority(bool high) override { priority_changes.push_back(high); }
  WinError SaveCompactCopy(RegKey root, TextView sub_key, TextView copy_path) override {
    const Text name = Text(root == kHkeyUsers ? u"\\REGISTRY\\USER\\" : u"\\REGISTRY\\MACHINE\\") + Text(sub_key);
    saves.push_back(name);
    const auto it = compact_sizes.find(Upcase(name));
    if (it == compact_sizes.end() || save_fails.count(Upcase(name))) return err::kAccessDenied;
    files[Upcase(copy_path)] = std::vector<std::uint8_t>(it->second, 0xAA);
    return err::kSuccess;
  }
  bool Exists(TextView path) override { return HasFile(path) || folders_made.count(Upcase(path)); }
  WinError FileSize(TextView path, std::uint64_t* size) override {
    const auto it = files.find(Upcase(path));
    if (it == files.end()) return err::kFileNotFound;
    *size = it->second.size();
    return err::kSuccess;
  }
  WinError DeleteFile(TextView path) override {
    deleted.push_back(Text(path));
    return files.erase(Upcase(path)) ? err::kSuccess : err::kFileNotFound;
  }
  WinError CreateFolder(TextView path) override {
    if (folder_error) return folder_error;
    folders_made.insert(Upcase(path));
    return err::kSuccess;
  }
  WinError TempFileName(TextView folder, TextView prefix, std::uint32_t unique, Text* out) override {
    temp_numbers.push_back(unique);
    *out = Text(folder) + u"\\" + Text(prefix) + ToText(unique) + u".TMP";
    files[Upcase(*out)] = {};
    return err::kSuccess;
  }
  WinError ReadFile(TextView path, std::uint64_t max_size, std::vector<std::uint8_t>* out) override {
    const auto it = files.find(Upcase(path));
    if (it == files.end()) return err::kFileNotFound;
    if (it->second.size() > max_size) return err::kFileTooLarge;
    *out = it->second;
    return err::kSuccess;
  }
  WinError WriteFile(TextView path, std::span<const std::uint8_t> bytes) override {
    ++writes;
    if (create_error) return create_error;
    if (write_error && !bytes.empty()) {
      files[Upcase(path)] = {};
      return write_error;
    }
    files[Upcase(path)].assign(bytes.begin(), bytes.end());
    return err::kSuccess;
  }
  WinError ReadBootExecute(RegValue* out) override {
    if (boot_open_error) return boot_open_error;
    if (!boot_execute) return err::kFileNotFound;
    *out = *boot_execute;
    return err::kSuccess;
  }
  WinError WriteBootExecute(const RegValue& value) override {
    if (boot_write_error) return boot_write_error;
    boot_execute = value;
    return err::kSuccess;
  }
  bool StartShutdown(TextView parameters) override {
    shutdowns.emplace_back(parameters);
    return true;
  }
  bool CompactInPlace(TextView path, Text* error) override {
    compacted.emplace_back(path);
    const auto it = files.find(Upcase(path));
    if (it == files.end() || compact_fails.count(Upcase(path))) {
      *error = u"refused";
      return false;
    }
    it->second.resize(it->second.size() / 4);
    return true;
  }

  std::vector<LoadedHive> hivelist;
  WinError list_error = err::kSuccess;
  std::vector<DriveDevice> drives;
  HiveFolders folders;
  int minor_version = 1;
  bool privileges = true;
  std::map<Text, std::vector<std::uint8_t>> files;  // by upper-case path
  std::map<Text, std::uint32_t> compact_sizes;      // by upper-case hive name
  std::set<Text> save_fails, compact_fails, folders_made;
  WinError folder_error = err::kSuccess, create_error = err::kSuccess, write_error = err::kSuccess;
  WinError boot_open_error = err::kSuccess, boot_write_error = err::kSuccess;
  std::optional<RegValue> boot_execute;
  std::vector<Text> saves, deleted, shutdowns, compacted;
  std::vector<std::uint32_t> temp_numbers;
  std::vector<bool> priority_changes;
  int flushes = 0, writes = 0;
};

}  // namespace hs::testing
