// A FileSystem that shows one folder somewhere else: every path at or below
// `from` goes to the same place below `to` in the wrapped file system. The
// front end uses it to keep the program's data folder ("<application
// data>\Corvanta\HiveSweep") in a folder chosen on the command line while
// every component still builds its paths the usual way.
//
// Matching is by spelling: `from` must start the path, compared without
// regard to case and with '/' taken as '\', and be followed by a separator
// or the end. Other spellings of the same folder ("x\.\y", "x\y\..") reach
// the wrapped file system unchanged. Below `from`, a ".." component fails
// with 3, so nothing reached through the redirection lies outside `to`.
//
// With `read_only_elsewhere`, every write outside the redirected folder
// (creating, appending, making folders, deleting, moving) fails with 5
// without reaching the wrapped file system: reads see the whole machine,
// writes land only in the redirected folder.
//
// While the target folder exists, the folders on the way to `from` exist
// too (as folders), and each one's listing shows the next folder of that
// way, so that the view holds together (a folder that is missing has
// nothing below it).
//
// Immutable after construction; as thread-safe as the wrapped file system,
// which must outlive this object and the files it opens.
#pragma once

#include "platform/file_system.h"
#include "platform/xml_writer.h"

namespace hs {

class RedirectedFileSystem final : public FileSystem {
 public:
  // `from` and `to` are absolute Windows paths of folders (a trailing
  // separator is ignored).
  RedirectedFileSystem(FileSystem& target, Text from, Text to, bool read_only_elsewhere);

  // Where `path` goes: *out is the path handed to the wrapped file system.
  // Answers 0 and sets *redirected, or 3 for a ".." below `from`.
  [[nodiscard]] WinError Map(TextView path, Text* out, bool* redirected) const;

  [[nodiscard]] WinError ReadFile(TextView path, std::uint64_t max_size, std::vector<std::uint8_t>* out) override;
  [[nodiscard]] WinError ReadFileRange(TextView path, std::uint64_t offset, std::size_t size,
                                         std::vector<std::uint8_t>* out) override;
  [[nodiscard]] WinError CreateNewFile(TextView path, std::unique_ptr<WritableFile>* out) override;
  [[nodiscard]] WinError OpenAppend(TextView path, std::unique_ptr<AppendFile>* out) override;
  bool Exists(TextView path) override;
  bool IsDirectory(TextView path) override;
  [[nodiscard]] WinError CreateDirectories(TextView path) override;
  [[nodiscard]] WinError DeleteFile(TextView path) override;
  [[nodiscard]] WinError MoveFile(TextView from, TextView to, bool replace) override;
  [[nodiscard]] WinError GetFileInfo(TextView path, FileInfo* out) override;
  [[nodiscard]] WinError ListDirectory(TextView path, std::vector<DirEntry>* out) override;

  // Map for a write: also refuses a path outside the folder (5) when
  // read-only elsewhere.
  [[nodiscard]] WinError MapForWrite(TextView path, Text* out) const;

 private:

  // `path` (by spelling) is a folder on the way to `from`; *next is the
  // name below it on that way. False also while the target is missing.
  bool LeadsToFrom(TextView path, Text* next) const;

  FileSystem& target_;
  Text from_;
  Text to_;
  bool read_only_elsewhere_;
};

// An XmlWriterFactory whose files follow the same rules, for writers that
// create their files themselves (the system's XML writer): a refused path
// fails the file-stream step with HResultFromWin32 of the refusal. Both
// objects must outlive this one.
class RedirectedXmlWriterFactory final : public XmlWriterFactory {
 public:
  RedirectedXmlWriterFactory(XmlWriterFactory& target, const RedirectedFileSystem& rules)
      : target_(target), rules_(rules) {}
  XmlWriterOpen Create(TextView path) override;

 private:
  XmlWriterFactory& target_;
  const RedirectedFileSystem& rules_;
};

}  // namespace hs
