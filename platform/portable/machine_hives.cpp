#include "platform/portable/machine_hives.h"

#include "platform/hive_limits.h"
#include "platform/portable/hive_file.h"

namespace hs {

MachineHives::MachineHives(MachineHivesSetup setup, Registry& registry)
    : setup_(std::move(setup)), registry_(registry) {
  for (const auto& [letter, folder] : setup_.drive_folders) fs_.MapDrive(letter, folder);
}

WinError MachineHives::ListLoaded(std::vector<LoadedHive>* out) {
  out->clear();
  for (const LoadedHive& h : setup_.hivelist) {
    if (h.name.size() > kMaxHiveNameChars || h.path.size() * 2 > kMaxHivePathBytes) continue;
    out->push_back(h);
  }
  return err::kSuccess;
}

std::vector<DriveDevice> MachineHives::FixedDrives() {
  std::vector<DriveDevice> out;
  int volume = 0;
  for (char16_t letter : setup_.fixed_drives)
    out.push_back({Text{letter, u':'}, u"\\Device\\HarddiskVolume" + ToText(++volume)});
  return out;
}

Text MachineHives::DrivePath(TextView path) {
  if (path.find(u':') != TextView::npos) return Text(path);
  for (const DriveDevice& d : FixedDrives()) {
    if (StartsWithNoCase(path, d.device) && path.size() > d.device.size() && path[d.device.size()] == u'\\')
      return d.drive + Text(path.substr(d.device.size()));
  }
  return {};
}

WinError MachineHives::SaveCompactCopy(RegKey root, TextView sub_key, TextView copy_path) {
  const Text name = Text(root == kHkeyUsers ? u"\\REGISTRY\\USER\\" : u"\\REGISTRY\\MACHINE\\") + Text(sub_key);
  for (const LoadedHive& h : setup_.hivelist) {
    if (!EqualsNoCase(h.name, name)) continue;
    std::filesystem::path source, target;
    const Text drive_path = DrivePath(h.path);
    if (drive_path.empty() || !HostPath(drive_path, &source) || !HostPath(copy_path, &target))
      return err::kPathNotFound;
    std::string error;
    return WriteCompactHive(source, target, &error) ? err::kSuccess : err::kBadDbDatabase;
  }
  return err::kFileNotFound;
}

WinError MachineHives::FileSize(TextView path, std::uint64_t* size) {
  FileInfo info;
  if (WinError e = fs_.GetFileInfo(path, &info)) return e;
  if (info.is_directory) return err::kAccessDenied;
  *size = info.size;
  return err::kSuccess;
}

WinError MachineHives::TempFileName(TextView folder, TextView prefix, std::uint32_t unique, Text* out) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  Text name = Text(folder) + u"\\" + Text(prefix.substr(0, 3));
  for (int shift = 12; shift >= 0; shift -= 4) name += kHex[(unique >> shift) & 0xF];
  name += u".TMP";
  std::unique_ptr<WritableFile> file;
  if (WinError e = fs_.CreateNewFile(name, &file); e && e != err::kFileExists && e != err::kAlreadyExists) return e;
  if (file) (void)file->Close();
  *out = std::move(name);
  return err::kSuccess;
}

WinError MachineHives::ReadFile(TextView path, std::uint64_t max_size, std::vector<std::uint8_t>* out) {
  return fs_.ReadFile(path, max_size, out);
}

WinError MachineHives::WriteFile(TextView path, std::span<const std::uint8_t> bytes) {
  if (WinError e = fs_.DeleteFile(path); e && e != err::kFileNotFound) return e;
  std::unique_ptr<WritableFile> file;
  if (WinError e = fs_.CreateNewFile(path, &file)) return e;
  if (WinError e = file->Write(bytes)) return e;
  return file->Close();
}

WinError MachineHives::ReadBootExecute(RegValue* out) {
  return ReadBootExecuteFrom(registry_, setup_.windows64, out);
}

WinError MachineHives::WriteBootExecute(const RegValue& value) {
  return WriteBootExecuteTo(registry_, setup_.windows64, value);
}

bool MachineHives::StartShutdown(TextView parameters) {
  restarts_.emplace_back(parameters);
  return true;
}

bool MachineHives::CompactInPlace(TextView path, Text* error) {
  std::filesystem::path host;
  if (!HostPath(path, &host) || !fs_.Exists(path)) {
    *error = Text(path) + u": no such hive file";
    return false;
  }
  std::string why;
  if (!CompactHiveInPlace(host, &why)) {
    *error = Text(path) + u": " + FromUtf8(why);
    return false;
  }
  return true;
}

bool MachineHives::HostPath(TextView path, std::filesystem::path* out) const {
  return fs_.HostPath(path, out) == err::kSuccess;
}

}  // namespace hs
