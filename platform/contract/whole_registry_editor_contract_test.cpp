// The whole-registry editor, natively over the store, in the win32 build the
// system's editor over the real registry under Wine. Scratch keys live under
// HKCU\Software and, on 64-bit Windows, HKLM\Software in both views.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <memory>

#include "platform/reg_text.h"
#include "platform/registry.h"
#include "platform/whole_registry_editor.h"
#include "testing/memory_log.h"
#include "testing/test_env.h"

namespace hs {
namespace {

namespace stdfs = std::filesystem;
using ::hs::testing::RunningOnWine;

using Values = std::map<Text, RegValue>;

std::vector<std::uint8_t> Bytes(std::initializer_list<int> v) {
  std::vector<std::uint8_t> out;
  for (int b : v) out.push_back(static_cast<std::uint8_t>(b));
  return out;
}

Values SeedValues() {
  std::vector<std::uint8_t> blob;
  for (int i = 0; i < 100; ++i) blob.push_back(static_cast<std::uint8_t>(i * 7));
  return {
      {u"", {kRegSz, SzData(u"default")}},
      {u"sz", {kRegSz, SzData(u"C:\\Program Files\\x.exe")}},
      {u"expand", {kRegExpandSz, SzData(u"%SystemRoot%\\x")}},
      {u"multi", {kRegMultiSz, Bytes({'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0})}},
      {u"binary", {kRegBinary, blob}},
      {u"empty", {kRegBinary, {}}},
      {u"dword", {kRegDword, DwordData(0xDEADBEEF)}},
      {u"qword", {kRegQword, Bytes({1, 2, 3, 4, 5, 6, 7, 8})}},
      {u"quote \" back \\ \u00e9\u0416", {kRegSz, SzData(u"x")}},
  };
}

class WholeRegistryEditorContract : public ::testing::Test {
 protected:
  void SetUp() override {
    reg_ = ::hs::testing::MakeContractRegistry();
    windows64_ = ::hs::testing::MakeContractWow64()->IsWow64Process();
    name_ = ::hs::testing::UniqueName("HSWhole");
    base_ = u"Software\\" + name_;
    host_ = stdfs::temp_directory_path() / ToUtf8(name_);
    stdfs::create_directories(host_);
    fs_ = ::hs::testing::MakeContractFileSystem(host_, &root_);
    editor_ = ::hs::testing::MakeContractWholeEditor(*reg_, *fs_, log_);

    RegKey k = 0;
    ASSERT_EQ(err::kSuccess, reg_->Create(kHkeyCurrentUser, base_, kKeyAllAccess, &k, nullptr));
    for (const auto& [name, v] : SeedValues()) ASSERT_EQ(err::kSuccess, reg_->SetValue(k, name, v.type, v.data));
    reg_->Close(k);
    ASSERT_EQ(err::kSuccess, reg_->Create(kHkeyCurrentUser, base_ + u"\\sub", kKeyAllAccess, &k, nullptr));
    ASSERT_EQ(err::kSuccess, reg_->SetValue(k, u"inner", kRegDword, DwordData(7)));
    reg_->Close(k);
    if (windows64_) {
      for (auto [view, text] : {std::pair{kKeyWow64_64Key, u"64"}, std::pair{kKeyWow64_32Key, u"32"}}) {
        ASSERT_EQ(err::kSuccess, reg_->Create(kHkeyLocalMachine, base_, kKeyAllAccess | view, &k, nullptr));
        ASSERT_EQ(err::kSuccess, reg_->SetValue(k, u"view", kRegSz, SzData(text)));
        reg_->Close(k);
      }
    }
  }
  void TearDown() override {
    if (reg_) {
      (void)reg_->DeleteTree(kHkeyCurrentUser, base_, 0);
      for (std::uint32_t view : {kKeyWow64_64Key, kKeyWow64_32Key}) {
        (void)reg_->DeleteTree(kHkeyLocalMachine, base_, view);
      }
    }
    std::error_code ec;
    stdfs::remove_all(host_, ec);
  }

  Text File(TextView name) const { return root_ + u"\\" + Text(name); }

  // Exports the whole registry into `file` and parses it.
  void ExportAndParse(TextView file, RegTextDocument* doc) {
    const RegImportOutcome out = editor_->ExportAll(file, kWholeExportWaitMs);
    ASSERT_TRUE(out.started && out.finished);
    ASSERT_EQ(0u, out.exit_code);
    std::vector<std::uint8_t> bytes;
    ASSERT_EQ(err::kSuccess, fs_->ReadFile(file, kMaxRegTextBytes, &bytes));
    RegTextError error;
    ASSERT_TRUE(ParseRegText(bytes.data(), bytes.size(), doc, &error)) << error.line << ": " << error.message;
  }

  Values Read(RegKey root, TextView path, std::uint32_t view) {
    Values out;
    RegKey k = 0;
    if (reg_->Open(root, path, kKeyRead | view, &k) != err::kSuccess) return out;
    Text name;
    RegValue v;
    for (std::uint32_t i = 0; reg_->EnumValue(k, i, 16384, 1 << 20, &name, &v) == err::kSuccess; ++i) out[name] = v;
    reg_->Close(k);
    return out;
  }

  std::unique_ptr<Registry> reg_;
  bool windows64_ = false;
  Text name_, base_, root_;
  stdfs::path host_;
  std::unique_ptr<FileSystem> fs_;
  MemoryLog log_;
  std::unique_ptr<WholeRegistryEditor> editor_;
};

// The values of the key `path` below `root_name` in `doc` (merged over
// repeated headers); nullopt when the file names no such key.
std::optional<Values> KeyValues(const RegTextDocument& doc, TextView root_name, TextView path) {
  std::optional<Values> out;
  for (const auto& key : doc.keys) {
    if (key.remove || !EqualsNoCase(key.root_name, root_name) || !EqualsNoCase(key.path, path)) continue;
    if (!out) out.emplace();
    for (const auto& v : key.values) {
      if (!v.remove) (*out)[v.name] = RegValue{v.type, v.data};
    }
  }
  return out;
}

// HKEY_CURRENT_USER\path, or under Wine HKEY_USERS\<user>\path.
std::optional<Values> UserKeyValues(const RegTextDocument& doc, TextView path) {
  if (!RunningOnWine()) return KeyValues(doc, u"HKEY_CURRENT_USER", path);
  // Wine deviation: its whole export holds only HKEY_LOCAL_MACHINE and
  // HKEY_USERS; the current user's keys appear under the user's SID.
  const Text suffix = u"\\" + Text(path);
  for (const auto& key : doc.keys) {
    if (!EqualsNoCase(key.root_name, u"HKEY_USERS") || key.path.size() <= suffix.size()) continue;
    const TextView tail = TextView(key.path).substr(key.path.size() - suffix.size());
    const TextView user = TextView(key.path).substr(0, key.path.size() - suffix.size());
    if (EqualsNoCase(tail, suffix) && user.find(u'\\') == TextView::npos) return KeyValues(doc, u"HKEY_USERS", key.path);
  }
  return std::nullopt;
}

void ExpectSame(const Values& want, const std::optional<Values>& got, const char* where) {
  ASSERT_TRUE(got.has_value()) << where << ": key missing";
  ASSERT_EQ(want.size(), got->size()) << where;
  for (const auto& [name, v] : want) {
    auto it = got->find(name);
    ASSERT_NE(it, got->end()) << where << ": " << ToUtf8(name);
    EXPECT_EQ(v.type, it->second.type) << where << ": " << ToUtf8(name);
    EXPECT_EQ(v.data, it->second.data) << where << ": " << ToUtf8(name);
  }
}

TEST_F(WholeRegistryEditorContract, ExportHoldsScratchKeysWithExactTypesAndBytes) {
  RegTextDocument doc;
  ASSERT_NO_FATAL_FAILURE(ExportAndParse(File(u"all.reg"), &doc));
  ExpectSame(SeedValues(), UserKeyValues(doc, base_), "user key");
  ExpectSame(Values{{u"inner", {kRegDword, DwordData(7)}}}, UserKeyValues(doc, base_ + u"\\sub"), "user subkey");
  if (windows64_) {
    // Both views: the 32-bit one below Wow6432Node.
    ExpectSame(Values{{u"view", {kRegSz, SzData(u"64")}}}, KeyValues(doc, u"HKEY_LOCAL_MACHINE", base_), "64-bit view");
    ExpectSame(Values{{u"view", {kRegSz, SzData(u"32")}}},
               KeyValues(doc, u"HKEY_LOCAL_MACHINE", u"Software\\Wow6432Node\\" + name_), "32-bit view");
  }
}

TEST_F(WholeRegistryEditorContract, ImportAllOfAnExportBringsBackChangedValuesAndDeletedKeys) {
  const Text file = File(u"all.reg");
  RegTextDocument doc;
  ASSERT_NO_FATAL_FAILURE(ExportAndParse(file, &doc));

  RegKey k = 0;
  ASSERT_EQ(err::kSuccess, reg_->Open(kHkeyCurrentUser, base_, kKeyAllAccess, &k));
  ASSERT_EQ(err::kSuccess, reg_->SetValue(k, u"sz", kRegDword, DwordData(1)));
  ASSERT_EQ(err::kSuccess, reg_->DeleteValue(k, u"binary"));
  reg_->Close(k);
  ASSERT_EQ(err::kSuccess, reg_->DeleteTree(kHkeyCurrentUser, base_ + u"\\sub", 0));
  if (windows64_) {
    for (std::uint32_t view : {kKeyWow64_64Key, kKeyWow64_32Key}) {
      ASSERT_EQ(err::kSuccess, reg_->Open(kHkeyLocalMachine, base_, kKeyAllAccess | view, &k));
      ASSERT_EQ(err::kSuccess, reg_->SetValue(k, u"view", kRegSz, SzData(u"changed")));
      reg_->Close(k);
    }
  }

  const RegImportOutcome out = editor_->ImportAll(file, kWholeImportWaitMs);
  ASSERT_TRUE(out.started && out.finished);
  EXPECT_EQ(0u, out.exit_code);
  ExpectSame(SeedValues(), Read(kHkeyCurrentUser, base_, 0), "user key");
  ExpectSame(Values{{u"inner", {kRegDword, DwordData(7)}}}, Read(kHkeyCurrentUser, base_ + u"\\sub", 0),
             "user subkey");
  if (windows64_) {
    ExpectSame(Values{{u"view", {kRegSz, SzData(u"64")}}}, Read(kHkeyLocalMachine, base_, kKeyWow64_64Key),
               "64-bit view");
    ExpectSame(Values{{u"view", {kRegSz, SzData(u"32")}}}, Read(kHkeyLocalMachine, base_, kKeyWow64_32Key),
               "32-bit view");
  }
}

TEST_F(WholeRegistryEditorContract, ImportAllOfAMissingOrUnreadableFileChangesNothing) {
  // Text without the header line: nothing of it may be applied, also not
  // the well-formed entries after the first line.
  const std::string garbage =
      "this is not a registry file\r\n\r\n[HKEY_CURRENT_USER\\Software\\" + ToUtf8(name_) +
      "]\r\n\"sz\"=\"garbage\"\r\n\r\n[-HKEY_CURRENT_USER\\Software\\" + ToUtf8(name_) + "\\sub]\r\n";
  const Text bad = File(u"garbage.reg");
  ASSERT_EQ(err::kSuccess, fs_->WriteFileAtomic(bad, std::vector<std::uint8_t>(garbage.begin(), garbage.end())));

  for (const Text& file : {File(u"missing.reg"), bad}) {
    (void)editor_->ImportAll(file, kWholeImportWaitMs);
    ExpectSame(SeedValues(), Read(kHkeyCurrentUser, base_, 0), ToUtf8(file).c_str());
    ExpectSame(Values{{u"inner", {kRegDword, DwordData(7)}}}, Read(kHkeyCurrentUser, base_ + u"\\sub", 0),
               ToUtf8(file).c_str());
  }
}

}  // namespace
}  // namespace hs
