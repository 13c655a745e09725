// The system editor's start and end: refused command lines and an export
// that does not end in time.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>

#include "platform/win32/win32_reg_editor.h"
#include "testing/test_env.h"

namespace hs {
namespace {

namespace stdfs = std::filesystem;

class Win32RegEditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = stdfs::temp_directory_path() / ToUtf8(::hs::testing::UniqueName("hs_regedit"));
    stdfs::create_directories(host_);
    const std::wstring w = host_.wstring();
    dir_.assign(w.begin(), w.end());
  }
  void TearDown() override {
    std::error_code ec;
    stdfs::remove_all(host_, ec);
  }
  bool Exists(TextView name) { return stdfs::exists(host_ / std::u16string(name)); }

  stdfs::path host_;
  Text dir_;
  Win32RegEditor editor_;
};

TEST_F(Win32RegEditorTest, PathsThatWouldChangeTheCommandLineStartNothing) {
  // Unquoted, the tail would become a second export target.
  const Text quoted = dir_ + u"\\a.reg\" /e \"" + dir_ + u"\\b.reg";
  Text with_nul = dir_ + u"\\b.reg";
  with_nul.insert(with_nul.size() - 4, 1, u'\0');
  for (const Text& path : {quoted, with_nul, Text()}) {
    EXPECT_FALSE(editor_.ExportAll(path, 60000).started);
    EXPECT_FALSE(editor_.ImportAll(path, 60000).started);
    EXPECT_FALSE(editor_.Import(path, true).started);
    EXPECT_FALSE(editor_.Import(path, false).started);
  }
  EXPECT_FALSE(Exists(u"a.reg"));
  EXPECT_FALSE(Exists(u"b.reg"));
}

TEST_F(Win32RegEditorTest, AnExportStillRunningAtTheEndOfTheWaitIsEndedAndLeavesNoFile) {
  // A whole export takes seconds; after 1.5 s the editor has begun the file.
  const RegImportOutcome out = editor_.ExportAll(dir_ + u"\\partial.reg", 1500);
  ASSERT_TRUE(out.started);
  ASSERT_FALSE(out.finished);
  EXPECT_FALSE(Exists(u"partial.reg"));
  Sleep(3000);  // an editor left running would write the file again
  EXPECT_FALSE(Exists(u"partial.reg"));
}

}  // namespace
}  // namespace hs
