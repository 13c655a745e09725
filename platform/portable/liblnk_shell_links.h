// Portable shell-links adapter: shortcut files read with liblnk.
//
// The file is read through the FileSystem port (at most kMaxShellLinkBytes)
// and handed to liblnk from memory (a libbfio memory range), so the
// machine's own path rules apply. liblnk trusts the sizes a file declares,
// so it is handed only files that pass ShellLinkLayoutFits
// (shell_link_layout.h): a file with a size, offset or count past its end has
// no target, and liblnk never sees a size larger than the file.
// The target is what the link holds, in the order the shell-link object of
// the reference platform (Wine) prefers it: the network path of its
// location (the UNC form), else the local path of its location, else its
// expandable path (the environment block, expanded with the machine's
// environment), else its relative path taken against the shortcut's folder
// ("." and ".." resolved). A link holding only an item list (a virtual
// folder, or a target the library cannot spell as a path) has no target
// here.
//
// IsWritable: the portable machine keeps no write permissions, so every
// existing file (not a folder) counts as writable.
//
// No COM: EnterThread gives a guard that does nothing. Stateless; safe from
// several threads at once. `fs` and `shell` must outlive the adapter.
#pragma once

#include "platform/file_system.h"
#include "platform/shell_links.h"
#include "platform/shell_paths.h"

namespace hs {

class LiblnkShellLinks final : public ShellLinks {
 public:
  LiblnkShellLinks(FileSystem& fs, ShellPaths& shell) : fs_(fs), shell_(shell) {}

  std::unique_ptr<ThreadGuard> EnterThread() override;
  Text TargetPath(TextView link_path) override;
  bool IsWritable(TextView path) override;

 private:
  FileSystem& fs_;
  ShellPaths& shell_;
};

// The folder of `link_path` joined with the relative path a link holds,
// with "." and ".." resolved (never above the drive or share root); empty
// when `relative` is empty or rooted otherwise than ".\" or "..\".
Text ResolveLinkRelativePath(TextView link_path, TextView relative);

}  // namespace hs
