// Shell-links port: the target a shortcut (.lnk) file points at, and
// whether the shortcut itself can be changed.
//
// Adapters: Win32ShellLinks (platform/win32) loads the file into the
// system's shell-link object (IShellLinkW through IPersistFile, read only)
// and asks it for its path; LiblnkShellLinks (platform/portable) reads the
// file with liblnk and resolves what it holds to the Windows path the
// machine sees.
//
// Contract (all adapters):
// - TargetPath answers the target as a full Windows path (a drive path, or
//   a UNC path when the link holds one: the UNC form is preferred); the
//   stored path wins over an expandable one (%VARIABLES%). It answers
//   the empty text when the file is missing, is larger than
//   kMaxShellLinkBytes, is not a shell link, holds no file-system path (a
//   link to a virtual folder), or its path does not fit kMaxShellLinkPathChars
//   units. A shortcut file is hostile input: nothing in it is trusted.
// - IsWritable answers whether the file opens for writing without being
//   created or truncated (no other change is made).
// - Threads: the Win32 adapter needs COM on the calling thread. The caller
//   provides it by holding the guard of EnterThread around its shortcut
//   work (the areas that read shortcuts do so on the scan worker); without
//   one the Win32 adapter answers the empty text. Guards nest. Apart from
//   that every member may be called from several threads at once.
// - Nothing throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/text.h"

namespace hs {

// The largest shortcut file that is read.
inline constexpr std::uint64_t kMaxShellLinkBytes = 256 * 1024;
// The path buffer the shell-link object is asked with (terminator
// included); a path that needs all of it may be cut short and is refused.
inline constexpr std::size_t kMaxShellLinkPathChars = 1024;

class ShellLinks {
 public:
  // Keeps the calling thread ready for TargetPath while it lives.
  class ThreadGuard {
   public:
    virtual ~ThreadGuard() = default;
  };

  virtual ~ShellLinks() = default;

  // Prepares the calling thread (COM for the Win32 adapter) until the guard
  // is destroyed, on the same thread.
  virtual std::unique_ptr<ThreadGuard> EnterThread() = 0;

  // The target path of the shortcut file `link_path`; empty when there is
  // none (see above).
  virtual Text TargetPath(TextView link_path) = 0;

  // The file opens for writing without being created or truncated.
  virtual bool IsWritable(TextView path) = 0;
};

}  // namespace hs
