// A Windows machine for the portable build, loaded from a folder, with every
// port a scan, the application object or the front end runs on.
//
// The machine folder:
//   registry.reg  registry export text (required), loaded into a
//                 RegistryStore; on 64-bit Windows in the 64-bit view, so
//                 keys below ...\Wow6432Node are what a 32-bit program sees
//   registry.d/   optional further *.reg files, applied after registry.reg
//                 in name order (same format and view)
//   drive_<x>/    the files of drive X: (drive_c for C:), one folder per drive
//   machine.ini   optional description of the machine (below)
//   tasks.txt     optional scheduled tasks (file_task_scheduler.h); the
//                 scheduler reads it until its state file exists
//
// machine.ini: UTF-8 text (a byte-order mark is allowed), at most
// kMaxMachineIniBytes. Lines are "[section]", "name = value", blank, or
// comments starting with ';' or '#'. Names are unique per section
// (compared without regard to case); unknown sections and names are errors.
//   [machine]      windows64 = yes|no (yes), version = 5|6 (6),
//                  administrator = yes|no (yes), user = NAME (User),
//                  windows = X:\FOLDER (C:\Windows), current_directory,
//                  path = X:\A;X:\B (the search path), protected_files and
//                  protected_keys (';'-separated full paths and key paths)
//   [drives]       LETTER = fixed|removable|cdrom|remote|ramdisk|unknown|none
//                  (every drive_<x> folder is a fixed drive unless listed;
//                  a listed drive without a folder has no files)
//   [environment]  NAME = VALUE, replacing or adding a variable; an empty
//                  value removes it (PATH is the search path above)
//   [hives]        the hivelist: NAME = PATH, e.g. \REGISTRY\MACHINE\SAM =
//                  \Device\HarddiskVolume1\Windows\System32\config\SAM
//                  (the fixed drives are volumes 1, 2, ... in letter
//                  order; a drive path is taken as it is), in list order;
//                  the files are real hive files (see machine_hives.h)
//   [folders]      special folders by name (appdata, local_appdata,
//                  profile, fonts, programs, startup, start_menu, recent,
//                  ...; see kSpecialFolderNames), each X:\FOLDER
// Everything not given is derived from the version, the user, the windows
// folder and windows64 as Windows lays them out for a 32-bit program
// (ProgramFiles is "Program Files (x86)" on 64-bit Windows).
//
// The program's data folder ("<appdata>\Corvanta\HiveSweep" of the machine)
// lives in a host folder of its own: the file system shows that folder at
// its Windows path, and refuses every write anywhere else, so a scan can
// never change the machine folder. The program's folder (its language
// files) is another host folder, reached through program_fs() at
// program_folder().
//
// Load once on one thread; afterwards the ports are as thread-safe as their
// own contracts say. The machine owns every port it hands out.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/callback_notifier.h"
#include "platform/portable/file_task_scheduler.h"
#include "platform/portable/host_clock.h"
#include "platform/portable/host_file_system.h"
#include "platform/portable/host_shell_folders.h"
#include "platform/portable/libxml2_xml_writer.h"
#include "platform/portable/liblnk_shell_links.h"
#include "platform/portable/machine_hives.h"
#include "platform/portable/portable_ini_reader.h"
#include "platform/portable/portable_shell_paths.h"
#include "platform/portable/portable_single_instance.h"
#include "platform/portable/portable_wow64.h"
#include "platform/portable_key_protection.h"
#include "platform/portable_system_info.h"
#include "platform/redirected_file_system.h"
#include "platform/store/registry_store.h"

namespace hs {

inline constexpr std::uint64_t kMaxMachineIniBytes = 64 * 1024;
inline constexpr char kMachineRegistryFile[] = "registry.reg";
inline constexpr char kMachineRegistryFolder[] = "registry.d";
inline constexpr char kMachineDescriptionFile[] = "machine.ini";
inline constexpr char kMachineTasksFile[] = "tasks.txt";

struct SpecialFolderName {
  const char* name;
  int csidl;
};
// The names [folders] accepts, with their CSIDL numbers.
extern const std::vector<SpecialFolderName> kSpecialFolderNames;

struct MachineDescription {
  ShellMachine shell;       // drives, environment, search path, folders, windows64
  MachineFacts facts;       // version, administrator, system folders
  ShellFolderPaths folders; // AppData and the special folders
  std::vector<Text> protected_keys;
  Text user;
  std::vector<LoadedHive> hives;  // [hives], in order
};

// Builds the description from machine.ini text (empty text: the defaults)
// for a machine whose drive folders are `drives_with_files` (upper-case
// letters). False with *error ("machine.ini:<line>: <what>") on any fault;
// *out is then unspecified.
[[nodiscard]] bool ParseMachineDescription(std::string_view text, const std::vector<char16_t>& drives_with_files,
                                           MachineDescription* out, std::string* error);

class PortableMachine {
 public:
  struct Options {
    std::filesystem::path folder;          // the machine folder
    std::filesystem::path data_folder;     // host folder of the program's data; created when missing
    std::filesystem::path program_folder;  // host folder of the language files; may be empty
    // The Windows path of the program's data folder on a machine with these
    // folders (the front end passes DataFolderPath); empty: none.
    std::function<Text(ShellFolders&)> data_folder_of;
    // When this host file exists, the registry is loaded from it instead of
    // the machine folder's registry files (a state saved after changes).
    std::filesystem::path registry_state;
    // The scheduler's tasks are written here (read from the machine
    // folder's tasks.txt until it exists); empty: into tasks.txt itself.
    std::filesystem::path tasks_state;
  };

  // Loads the machine. Null with *error (naming the file, and the line where
  // there is one) when the folder, registry.reg or machine.ini cannot be
  // read or is malformed, or the data folder cannot be created.
  [[nodiscard]] static std::unique_ptr<PortableMachine> Load(const Options& options, std::string* error);

  PortableMachine(const PortableMachine&) = delete;
  PortableMachine& operator=(const PortableMachine&) = delete;

  const MachineDescription& description() const { return description_; }
  // Keys in the registry files (their sections).
  std::size_t snapshot_keys() const { return snapshot_keys_; }
  // The data folder as the machine's programs see it (its Windows path).
  const Text& data_folder() const { return data_folder_; }
  // The Windows path of the language files' folder in program_fs().
  Text program_folder() const { return u"C:\\"; }

  RegistryStore& registry() { return *registry_; }
  Wow64& wow64() { return wow64_; }
  SystemInfo& system() { return system_; }
  KeyProtection& protection() { return protection_; }
  // The machine's drives plus the data folder; read-only elsewhere.
  FileSystem& fs() { return fs_; }
  Clock& clock() { return clock_; }
  ShellFolders& folders() { return folders_; }
  ShellPaths& shell() { return shell_; }
  // Shortcut files on the machine's drives.
  ShellLinks& links() { return links_; }
  IniReader& ini() { return ini_; }
  XmlWriterFactory& xml() { return xml_; }
  SingleInstance& instance() { return instance_; }
  // Delivers every message to the handler set last (none: dropped).
  CallbackNotifier& notifier() { return notifier_; }
  void set_message_handler(CallbackNotifier::Callback handler) { handler_ = std::move(handler); }
  // The program's own files (read through program_ini()).
  FileSystem& program_fs() { return program_fs_; }
  IniReader& program_ini() { return program_ini_; }
  // The hives of [hives] and their files in the drive folders (writable).
  MachineHives& hives() { return *hives_; }
  // The machine's task scheduler (its service always runs).
  TaskScheduler& scheduler() { return *scheduler_; }

 private:
  PortableMachine(MachineDescription description, const std::filesystem::path& data_host, char16_t data_letter,
                  Text data_folder);
  void SetUpHives(const std::map<char16_t, std::filesystem::path>& drive_folders);

  MachineDescription description_;
  std::size_t snapshot_keys_ = 0;
  Text data_folder_;
  HostFileSystem host_;
  RedirectedFileSystem fs_;
  std::unique_ptr<RegistryStore> registry_;
  std::unique_ptr<MachineHives> hives_;
  std::unique_ptr<FileTaskScheduler> scheduler_;
  PortableWow64 wow64_;
  PortableSystemInfo system_;
  PortableKeyProtection protection_;
  HostClock clock_;
  HostShellFolders folders_;
  PortableShellPaths shell_;
  LiblnkShellLinks links_;
  PortableIniReader ini_;
  Libxml2XmlWriterFactory xml_;
  PortableSingleInstance instance_;
  CallbackNotifier::Callback handler_;
  CallbackNotifier notifier_;
  HostFileSystem program_fs_;
  PortableIniReader program_ini_;
};

}  // namespace hs
