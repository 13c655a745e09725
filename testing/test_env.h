// What a test binary runs against: natively the portable adapters, in the
// win32 build (under Wine) the Win32 adapters. Contract suites use these so
// that one suite checks both.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "platform/clipboard.h"
#include "platform/file_system.h"
#include "platform/ini_reader.h"
#include "platform/registry.h"
#include "platform/task_scheduler.h"
#include "platform/reg_editor.h"
#include "platform/log.h"
#include "platform/whole_registry_editor.h"
#include "platform/wow64.h"

namespace hs::testing {

// "portable" or "win32".
const char* AdapterName();
// True in the win32 build when the program runs under Wine.
bool RunningOnWine();

// The registry under contract test: a RegistryStore in 64-bit Windows mode
// natively, the real registry in the win32 build.
std::unique_ptr<Registry> MakeContractRegistry();
std::unique_ptr<Wow64> MakeContractWow64();

// The file system under contract test, reaching an existing host folder:
// natively a HostFileSystem with drive C: mapped onto it, in the win32 build
// the real file system. *root is the Windows path of the folder (no trailing
// backslash).
std::unique_ptr<FileSystem> MakeContractFileSystem(const std::filesystem::path& host_folder, std::u16string* root);
// The INI reader under contract test, reading through `fs` natively (the
// win32 adapter reads files itself). `fs` must outlive the reader.
std::unique_ptr<IniReader> MakeContractIniReader(FileSystem& fs);

// The clipboard under contract test: natively a MemoryClipboard, in the
// win32 build the system's clipboard.
std::unique_ptr<Clipboard> MakeContractClipboard();

// The registry editor under contract test: natively a StoreRegEditor over
// `registry` and `fs`, in the win32 build the system's editor.
std::unique_ptr<RegEditor> MakeContractRegEditor(Registry& registry, FileSystem& fs, Log& log);
// The whole-registry editor under contract test: natively a StoreRegEditor
// over `registry` (64-bit Windows) and `fs`, in the win32 build the system's
// editor.
std::unique_ptr<WholeRegistryEditor> MakeContractWholeEditor(Registry& registry, FileSystem& fs, Log& log);

// The task scheduler under contract test: natively a FileTaskScheduler
// keeping its file in `host_folder`, in the win32 build the system's.
std::unique_ptr<TaskScheduler> MakeContractTaskScheduler(const std::filesystem::path& host_folder);

// A name unique to this process and call, for scratch keys and folders.
std::u16string UniqueName(const char* prefix);

// Source tree root (for fixtures), as a host path.
std::string SourceDir();

}  // namespace hs::testing
