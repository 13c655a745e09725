// Win32 shell-links adapter: the system's shell-link object (CLSID_ShellLink
// with IShellLinkW and IPersistFile). TargetPath loads the file read-only
// and asks IShellLinkW::GetPath with the UNC form preferred; it never calls
// Resolve (which may search the disk and change the link). COM on the
// calling thread comes from EnterThread (apartment-threaded; a thread whose
// COM was set up otherwise keeps it).
//
// SaveShellLink writes a shortcut through the same object; tests and the
// tool that makes the sample shortcuts use it.
#pragma once

#include "platform/shell_links.h"
#include "platform/win_error.h"

namespace hs {

class Win32ShellLinks final : public ShellLinks {
 public:
  std::unique_ptr<ThreadGuard> EnterThread() override;
  Text TargetPath(TextView link_path) override;
  bool IsWritable(TextView path) override;
};

struct ShellLinkFields {
  Text target;            // the path (IShellLinkW::SetPath; may hold %VARIABLES%)
  Text arguments;         // optional
  Text working_folder;    // optional
  bool relative = false;  // also store the target relative to the link (SetRelativePath)
};

// Creates or replaces the shortcut file `link_path` (the calling thread
// holds an EnterThread guard). Answers the failing HRESULT, 0 on success.
long SaveShellLink(TextView link_path, const ShellLinkFields& fields);

}  // namespace hs
