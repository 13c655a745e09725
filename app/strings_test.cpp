// Localised strings against the adapters of the build: natively the host file
// system, the portable INI reader and the registry store; under Wine the real
// file system, GetPrivateProfileStringW and the real registry.
#include "app/strings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>

#include "engine/archive.h"
#include "platform/store/registry_store.h"
#include "testing/memory_log.h"
#include "testing/test_env.h"

namespace hs {
namespace {

namespace stdfs = std::filesystem;

TEST(LanguageTable, HoldsTheTwentyLanguagesInOrder) {
  ASSERT_EQ(20u, kLanguages.size());
  const Language& en = LanguageRecord(0);
  EXPECT_EQ(Text(u"en"), en.code);
  EXPECT_EQ(Text(u"eng_hsw.ini"), en.file_name);
  EXPECT_STREQ("english", en.locale);
  EXPECT_EQ(Text(u"Arial"), en.font);
  EXPECT_EQ(-12, en.font_height);
  EXPECT_EQ(1, en.charset);
  // Display names against independently encoded text.
  EXPECT_EQ(FromUtf8("中文繁體 (Chinese Traditional)"), LanguageRecord(1).display_name);
  EXPECT_EQ(FromUtf8("日本語 (Japanese)"), LanguageRecord(7).display_name);
  EXPECT_EQ(FromUtf8("Русский (Russian)"), LanguageRecord(14).display_name);
  EXPECT_EQ(FromUtf8("Ελληνικά (Greek)"), LanguageRecord(15).display_name);
  EXPECT_EQ(FromUtf8("한국어(Korean)"), LanguageRecord(18).display_name);
  EXPECT_EQ(FromUtf8("简体中文 (Chinese Simplified)"), LanguageRecord(19).display_name);
  EXPECT_EQ(Text(u"portugese_hsw_pt.ini"), LanguageRecord(13).file_name);
  EXPECT_EQ(Text(u"traditionalcn_hsw_zh-tw.ini"), LanguageRecord(1).file_name);
  EXPECT_EQ(-11, LanguageRecord(3).font_height);
  EXPECT_EQ(-11, LanguageRecord(10).font_height);
  EXPECT_EQ(-11, LanguageRecord(14).font_height);
  // Screen fonts: English at its design size, the -11 languages smaller.
  EXPECT_EQ(15, ScreenFontHeight(LanguageRecord(0), 15));
  EXPECT_EQ(14, ScreenFontHeight(LanguageRecord(14), 15));
  EXPECT_EQ(22, ScreenFontHeight(LanguageRecord(10), 24));
  EXPECT_EQ(8, ScreenFontHeight(LanguageRecord(3), 2));
  EXPECT_EQ(204, LanguageRecord(14).charset);
  EXPECT_EQ(238, LanguageRecord(17).charset);
  EXPECT_STREQ("chinese-simplified", LanguageRecord(19).locale);
  EXPECT_EQ(Text(u"zhcn"), LanguageRecord(19).code);
  EXPECT_EQ(&kLanguages[0], &LanguageRecord(20));
  EXPECT_EQ(&kLanguages[0], &LanguageRecord(-1));
}

TEST(CleanLanguageText, QuoteEscapesAndTrim) {
  EXPECT_EQ(u"word", CleanLanguageText(u"\"  word")) << "an unclosed quote becomes a blank";
  EXPECT_EQ(u"a\"b\"", CleanLanguageText(u"a\"b\"")) << "only a leading quote";
  EXPECT_EQ(u"line one\nline two", CleanLanguageText(u"line one\\nline two"));
  EXPECT_EQ(u"a\tb\rc", CleanLanguageText(u"a\\tb\\rc"));
  EXPECT_EQ(u"C:\\dir", CleanLanguageText(u"C:\\\\dir"));
  // Escapes are read left to right: an escaped backslash before n stays a
  // backslash and an n, not a line feed.
  EXPECT_EQ(u"C:\\new", CleanLanguageText(u"C:\\\\new"));
  EXPECT_EQ(u"\\x and \\", CleanLanguageText(u"\\x and \\"));
  EXPECT_EQ(u"text", CleanLanguageText(u" \\ttext\\n "));
  EXPECT_EQ(u"", CleanLanguageText(u"\""));
  EXPECT_EQ(u"", CleanLanguageText(u""));
}

class LangIdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reg_ = ::hs::testing::MakeContractRegistry();
    key_ = u"Software\\" + ::hs::testing::UniqueName("HSLang");
  }
  void TearDown() override {
    (void)reg_->DeleteTree(kHkeyLocalMachine, key_, 0);
    (void)reg_->DeleteTree(kHkeyCurrentUser, key_, 0);
  }
  void Set(RegKey root, TextView name, std::uint32_t type, std::vector<std::uint8_t> data) {
    RegKey k = 0;
    ASSERT_EQ(err::kSuccess, reg_->Create(root, key_, kKeyAllAccess, &k, nullptr));
    ASSERT_EQ(err::kSuccess, reg_->SetValue(k, name, type, data));
    reg_->Close(k);
  }
  void SetId(RegKey root, std::uint32_t id) {
    Set(root, u"LangID", kRegDword,
        {std::uint8_t(id), std::uint8_t(id >> 8), std::uint8_t(id >> 16), std::uint8_t(id >> 24)});
  }
  Text ReadSz(RegKey root, TextView name) {
    RegKey k = 0;
    if (reg_->Open(root, key_, kKeyRead, &k) != err::kSuccess) return u"<no key>";
    RegValue v;
    WinError e = reg_->QueryValue(k, name, &v);
    reg_->Close(k);
    if (e != err::kSuccess) return u"<none>";
    Text t = FromUtf16leBytes(v.data.data(), v.data.size());
    while (!t.empty() && t.back() == 0) t.pop_back();
    return t;
  }
  int Id() { return CurrentLangID(*reg_, key_); }

  std::unique_ptr<Registry> reg_;
  Text key_;
};

TEST_F(LangIdTest, UserChoiceWinsAndOutOfRangeIsEnglish) {
  EXPECT_EQ(0, Id()) << "no value at all";
  SetId(kHkeyLocalMachine, 5);
  EXPECT_EQ(5, Id());
  SetId(kHkeyCurrentUser, 3);
  EXPECT_EQ(3, Id());
  SetId(kHkeyCurrentUser, 20);
  EXPECT_EQ(0, Id()) << "an invalid user choice is English even with a valid machine choice";
  SetId(kHkeyCurrentUser, 0xFFFFFFFFu);
  EXPECT_EQ(0, Id());
  SetId(kHkeyCurrentUser, 19);
  EXPECT_EQ(19, Id());
}

TEST_F(LangIdTest, OnlyFourByteDwordsCount) {
  SetId(kHkeyLocalMachine, 4);
  Set(kHkeyCurrentUser, u"LangID", kRegSz, {u'7', 0, 0, 0});
  EXPECT_EQ(4, Id());
  Set(kHkeyCurrentUser, u"LangID", kRegQword, {7, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(4, Id());
  Set(kHkeyCurrentUser, u"LangID", kRegDword, {7, 0});
  EXPECT_EQ(4, Id());
}

TEST_F(LangIdTest, ReadOnlyMachineKeyIsStillRead) {
  auto* store = dynamic_cast<RegistryStore*>(reg_.get());
  if (!store) GTEST_SKIP() << "needs the store's deny-write marks";
  SetId(kHkeyLocalMachine, 6);
  ASSERT_EQ(err::kSuccess, store->MarkDenyWrite(kHkeyLocalMachine, key_, 0, true));
  EXPECT_EQ(6, Id());
  ASSERT_EQ(err::kSuccess, store->MarkDenyWrite(kHkeyLocalMachine, key_, 0, false));
}

// Counts the reads that reach the file.
class CountingIni final : public IniReader {
 public:
  explicit CountingIni(IniReader& inner) : inner_(inner) {}
  Text ReadString(TextView path, TextView section, TextView key, TextView def, std::size_t capacity) override {
    ++reads;
    return inner_.ReadString(path, section, key, def, capacity);
  }
  std::atomic<int> reads{0};

 private:
  IniReader& inner_;
};

class StringTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = stdfs::temp_directory_path() / ToUtf8(::hs::testing::UniqueName("hs_str"));
    stdfs::create_directories(host_ / "prog");
    stdfs::create_directories(host_ / "data");
    fs_ = ::hs::testing::MakeContractFileSystem(host_, &root_);
    ini_ = ::hs::testing::MakeContractIniReader(*fs_);
    counting_ = std::make_unique<CountingIni>(*ini_);
  }
  void TearDown() override {
    std::error_code ec;
    stdfs::remove_all(host_, ec);
  }

  void WriteLang(const std::string& body, const char* file = "eng_hsw.ini") {
    std::ofstream out(host_ / "prog" / file, std::ios::binary | std::ios::trunc);
    out << "[RESOURCESTRING]\r\n" << body;
  }
  std::unique_ptr<StringTable> Make(int lang = 0, bool data = true) {
    return std::make_unique<StringTable>(*counting_, *fs_, log_, root_ + u"\\prog", data ? root_ + u"\\data" : u"",
                                         lang, [this](TextView m) { messages_.emplace_back(m); });
  }
  stdfs::path CacheHost() const { return host_ / "data" / "eng_hsw.dat"; }

  stdfs::path host_;
  Text root_;
  std::unique_ptr<FileSystem> fs_;
  std::unique_ptr<IniReader> ini_;
  std::unique_ptr<CountingIni> counting_;
  MemoryLog log_;
  std::vector<Text> messages_;
};

TEST_F(StringTableTest, LooksUpCleanedTextsFromTheLanguageFile) {
  WriteLang("Q=\"  word\r\nML=one\\ntwo\r\nBS=a\\\\b\r\nQUOTED=\"  spaced  \"\r\n"
            "[Other]\r\nQ=other section\r\n");
  auto t = Make();
  EXPECT_EQ(root_ + u"\\prog\\eng_hsw.ini", t->language_file());
  EXPECT_EQ(root_ + u"\\data\\eng_hsw.dat", t->cache_file());
  EXPECT_EQ(u"word", t->LookupString(u"Q"));
  EXPECT_EQ(u"one\ntwo", t->LookupString(u"ml"));
  EXPECT_EQ(u"a\\b", t->LookupString(u"BS"));
  EXPECT_EQ(u"spaced", t->LookupString(u"QUOTED")) << "the reader drops matching quotes, then blanks go";
  EXPECT_EQ(u"other section", t->LookupString(u"Q", u"Other")) << "not the cached RESOURCESTRING text";
  EXPECT_EQ(u"word", t->LookupString(u"Q", u"resourcestring"));
  EXPECT_TRUE(messages_.empty());
}

TEST_F(StringTableTest, LongValuesAreCutToTheBuffer) {
  WriteLang("LONG=" + std::string(5000, 'x') + "\r\n");
  EXPECT_EQ(Text(kLookupCapacity - 1, u'x'), Make()->LookupString(u"LONG"));
}

TEST_F(StringTableTest, TheMapAnswersUntilDisabled) {
  WriteLang("A=first\r\n");
  auto t = Make();
  EXPECT_EQ(u"first", t->LookupString(u"A"));
  EXPECT_EQ(u"first", t->LookupString(u"A"));
  EXPECT_EQ(1, counting_->reads.load());
  WriteLang("A=second version\r\n");
  EXPECT_EQ(u"first", t->LookupString(u"A"));
  t->set_cache_enabled(false);
  EXPECT_EQ(u"second version", t->LookupString(u"A"));
}

TEST_F(StringTableTest, EmptyTextsGiveTheDefaultAndOneMessage) {
  WriteLang("EMPTY=\r\nBLANK=  \\t \r\n");
  auto t = Make();
  EXPECT_EQ(u"fallback", t->LookupString(u"EMPTY", u"", u"fallback"));
  EXPECT_EQ(u"", t->LookupString(u"MISSING"));
  EXPECT_EQ(u"", t->LookupString(u"BLANK"));
  EXPECT_EQ(u"", t->LookupString(u"MISSING"));
  ASSERT_EQ(1u, messages_.size()) << "one message, not one per key";
  EXPECT_EQ(Text(kReadFailureMessage), messages_[0]);
  EXPECT_EQ(3u, log_.Lines().size()) << "each missing key is logged once";
  // Empty texts are remembered but not answered from the map: a key added
  // later is found.
  EXPECT_EQ(4, counting_->reads.load());
  WriteLang("MISSING=now here\r\n");
  EXPECT_EQ(u"now here", t->LookupString(u"MISSING"));
}

TEST_F(StringTableTest, MissingLanguageFileGivesDefaults) {
  auto t = Make(7);  // Japanese_hsw.ini does not exist
  EXPECT_EQ(u"d1", t->LookupString(u"AFX_IDS_APP_TITLE", u"", u"d1"));
  EXPECT_EQ(u"d2", t->LookupString(u"IDS_OTHER", u"", u"d2"));
  EXPECT_EQ(1u, messages_.size());
  EXPECT_EQ(err::kFileNotFound, t->SavePersistedCache());
  EXPECT_FALSE(stdfs::exists(host_ / "data" / "Japanese_hsw.dat"));
}

TEST_F(StringTableTest, PersistedCacheIsReusedForTheSameFile) {
  WriteLang("A=alpha\r\nB=beta\r\n");
  {
    auto t = Make();
    EXPECT_EQ(u"alpha", t->LookupString(u"A"));
    EXPECT_EQ(u"beta", t->LookupString(u"B"));
    ASSERT_EQ(err::kSuccess, t->SavePersistedCache());
  }
  ASSERT_TRUE(stdfs::exists(CacheHost()));
  counting_->reads = 0;
  auto t = Make();
  ASSERT_TRUE(t->LoadPersistedCache());
  EXPECT_EQ(u"alpha", t->LookupString(u"A"));
  EXPECT_EQ(u"beta", t->LookupString(u"B"));
  EXPECT_EQ(0, counting_->reads.load()) << "answered from the persisted cache";
}

TEST_F(StringTableTest, PersistedCacheFileLayout) {
  WriteLang("A=alpha\r\n");
  auto t = Make();
  EXPECT_EQ(u"alpha", t->LookupString(u"A"));
  ASSERT_EQ(err::kSuccess, t->SavePersistedCache());
  std::vector<std::uint8_t> bytes;
  ASSERT_EQ(err::kSuccess, fs_->ReadFile(t->cache_file(), 1 << 20, &bytes));
  FileInfo info;
  ASSERT_EQ(err::kSuccess, fs_->GetFileInfo(t->language_file(), &info));
  ArchiveReader r(bytes.data(), bytes.size());
  Text path, key, text;
  std::uint64_t size = 0, count = 0;
  std::int64_t time = 0;
  ASSERT_TRUE(r.String(&path) && r.U64(&size) && r.Time(&time) && r.Count(&count));
  EXPECT_EQ(t->language_file(), path);
  EXPECT_EQ(info.size, size);
  EXPECT_EQ(static_cast<std::int64_t>(info.last_write / 10000000) - 11644473600, time);
  ASSERT_EQ(1u, count);
  ASSERT_TRUE(r.String(&key) && r.String(&text));
  EXPECT_EQ(u"A", key);
  EXPECT_EQ(u"alpha", text);
  EXPECT_TRUE(r.AtEnd());
}

TEST_F(StringTableTest, AnEditedLanguageFileInvalidatesTheCache) {
  WriteLang("A=alpha\r\n");
  {
    auto t = Make();
    EXPECT_EQ(u"alpha", t->LookupString(u"A"));
    ASSERT_EQ(err::kSuccess, t->SavePersistedCache());
  }
  // Other size.
  WriteLang("A=alphabet\r\n");
  {
    auto t = Make();
    EXPECT_FALSE(t->LoadPersistedCache());
    EXPECT_EQ(u"alphabet", t->LookupString(u"A"));
    ASSERT_EQ(err::kSuccess, t->SavePersistedCache());
  }
  // Same size, other time.
  WriteLang("A=alphabot\r\n");
  const stdfs::path lang = host_ / "prog" / "eng_hsw.ini";
  stdfs::last_write_time(lang, stdfs::last_write_time(lang) + std::chrono::seconds(5));
  auto t = Make();
  EXPECT_FALSE(t->LoadPersistedCache());
  EXPECT_EQ(u"alphabot", t->LookupString(u"A"));
}

TEST_F(StringTableTest, ACacheOfAnotherPathIsIgnored) {
  WriteLang("A=alpha\r\n");
  {
    auto t = Make();
    EXPECT_EQ(u"alpha", t->LookupString(u"A"));
    ASSERT_EQ(err::kSuccess, t->SavePersistedCache());
  }
  // The same file reached through another folder name.
  std::error_code ec;
  stdfs::create_directories(host_ / "prog2");
  stdfs::copy_file(host_ / "prog" / "eng_hsw.ini", host_ / "prog2" / "eng_hsw.ini", ec);
  stdfs::last_write_time(host_ / "prog2" / "eng_hsw.ini", stdfs::last_write_time(host_ / "prog" / "eng_hsw.ini"));
  StringTable other(*counting_, *fs_, log_, root_ + u"\\prog2", root_ + u"\\data", 0, nullptr);
  EXPECT_FALSE(other.LoadPersistedCache());
  // Case does not matter.
  Text upper = root_ + u"\\PROG";
  StringTable same(*counting_, *fs_, log_, upper, root_ + u"\\data", 0, nullptr);
  EXPECT_TRUE(same.LoadPersistedCache());
}

TEST_F(StringTableTest, DamagedCacheFilesAreIgnored) {
  WriteLang("A=alpha\r\nB=beta\r\n");
  {
    auto t = Make();
    t->LookupString(u"A");
    t->LookupString(u"B");
    ASSERT_EQ(err::kSuccess, t->SavePersistedCache());
  }
  std::vector<std::uint8_t> good;
  ASSERT_EQ(err::kSuccess, fs_->ReadFile(root_ + u"\\data\\eng_hsw.dat", 1 << 20, &good));
  auto put = [&](const std::vector<std::uint8_t>& b) {
    std::ofstream out(CacheHost(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
  };
  for (std::size_t n = 0; n < good.size(); ++n) {
    put(std::vector<std::uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n)));
    EXPECT_FALSE(Make()->LoadPersistedCache()) << "truncated to " << n;
  }
  std::vector<std::uint8_t> longer = good;
  longer.push_back(0);
  put(longer);
  EXPECT_FALSE(Make()->LoadPersistedCache()) << "trailing bytes";
  std::mt19937 rng(7);
  for (int i = 0; i < 200; ++i) {
    std::vector<std::uint8_t> bad = good;
    bad[rng() % bad.size()] ^= static_cast<std::uint8_t>(1 + rng() % 255);
    put(bad);
    // A flip inside a text may still decode; either way the table works.
    auto t = Make();
    (void)t->LoadPersistedCache();
    EXPECT_FALSE(t->LookupString(u"A").empty());
  }
  put(good);
  auto t = Make();
  EXPECT_TRUE(t->LoadPersistedCache());
  EXPECT_EQ(u"alpha", t->LookupString(u"A"));
}

TEST_F(StringTableTest, SaveRefusesWhatCouldBeStale) {
  WriteLang("A=alpha\r\n");
  EXPECT_EQ(err::kPathNotFound, Make(0, /*data=*/false)->SavePersistedCache());
  auto t = Make();
  EXPECT_EQ(u"alpha", t->LookupString(u"A"));
  WriteLang("A=changed while running\r\n");
  EXPECT_EQ(err::kInvalidData, t->SavePersistedCache());
  EXPECT_FALSE(stdfs::exists(CacheHost()));
}

class FakeLauncher final : public SelfLauncher {
 public:
  WinError StartSelf(LaunchVerb verb, TextView argument) override {
    calls.push_back({verb, Text(argument)});
    return result;
  }
  std::vector<std::pair<LaunchVerb, Text>> calls;
  WinError result = err::kSuccess;
};

class LanguageChangeTest : public LangIdTest {
 protected:
  void SetUp() override {
    LangIdTest::SetUp();
    host_ = stdfs::temp_directory_path() / ToUtf8(::hs::testing::UniqueName("hs_chg"));
    stdfs::create_directories(host_);
    std::ofstream(host_ / "eng_hsw.ini", std::ios::binary)
        << "[RESOURCESTRING]\r\nIDS_SETTINGS_SAVED=Saved.\r\nIDS_LANG_CHANGE_PROMPT=Restart?\r\n";
    fs_ = ::hs::testing::MakeContractFileSystem(host_, &root_);
    ini_ = ::hs::testing::MakeContractIniReader(*fs_);
    strings_ = std::make_unique<StringTable>(*ini_, *fs_, log_, root_, u"", 0, nullptr);
    ui_.show_info = [this](TextView t) { shown_.emplace_back(t); };
    ui_.ask_yes_no = [this](TextView t) {
      asked_.emplace_back(t);
      return answer_;
    };
  }
  void TearDown() override {
    LangIdTest::TearDown();
    std::error_code ec;
    stdfs::remove_all(host_, ec);
  }
  LanguageChangeResult Change(int index, LanguageChangeSource source) {
    return ChangeLanguage(index, source, *reg_, *strings_, launcher_, log_, ui_, key_);
  }

  stdfs::path host_;
  Text root_;
  std::unique_ptr<FileSystem> fs_;
  std::unique_ptr<IniReader> ini_;
  MemoryLog log_;
  std::unique_ptr<StringTable> strings_;
  FakeLauncher launcher_;
  LanguageChangeUi ui_;
  std::vector<Text> shown_, asked_;
  bool answer_ = true;
};

TEST_F(LanguageChangeTest, TheCurrentLanguageOnlyConfirmsTheSettings) {
  EXPECT_EQ(LanguageChangeResult::kSameLanguage, Change(0, LanguageChangeSource::kSettingsPage));
  EXPECT_EQ(std::vector<Text>{u"Saved."}, shown_);
  EXPECT_EQ(LanguageChangeResult::kSameLanguage, Change(0, LanguageChangeSource::kMenu));
  EXPECT_EQ(1u, shown_.size()) << "the menu says nothing";
  EXPECT_TRUE(asked_.empty());
  EXPECT_TRUE(launcher_.calls.empty());
  EXPECT_EQ(LanguageChangeResult::kInvalidIndex, Change(20, LanguageChangeSource::kMenu));
}

TEST_F(LanguageChangeTest, DecliningChangesNothing) {
  answer_ = false;
  EXPECT_EQ(LanguageChangeResult::kDeclined, Change(5, LanguageChangeSource::kSettingsPage));
  EXPECT_EQ(std::vector<Text>{u"Restart?"}, asked_);
  EXPECT_EQ(0, Id());
  EXPECT_TRUE(launcher_.calls.empty());
}

TEST_F(LanguageChangeTest, AcceptingStoresTheChoiceAndRestarts) {
  EXPECT_EQ(LanguageChangeResult::kRestarting, Change(16, LanguageChangeSource::kSettingsPage));
  EXPECT_EQ(16, Id());
  EXPECT_EQ(u"tr", ReadSz(kHkeyLocalMachine, u"LangCode"));
  EXPECT_EQ(u"tr", ReadSz(kHkeyCurrentUser, u"LangCode"));
  ASSERT_EQ(1u, launcher_.calls.size());
  EXPECT_EQ(LaunchVerb::kOpen, launcher_.calls[0].first);
  EXPECT_EQ(u"-changelang", launcher_.calls[0].second);
  ASSERT_FALSE(log_.Lines().empty());
  EXPECT_EQ(u"ExitProcess : changelang", log_.Lines().back());

  EXPECT_EQ(LanguageChangeResult::kRestarting, Change(2, LanguageChangeSource::kMenu));
  EXPECT_EQ(u"ExitProcess : language Change", log_.Lines().back());
}

TEST_F(LanguageChangeTest, AFailedRestartKeepsThisProcess) {
  launcher_.result = err::kFileNotFound;
  EXPECT_EQ(LanguageChangeResult::kLaunchFailed, Change(4, LanguageChangeSource::kMenu));
  EXPECT_EQ(4, Id()) << "the choice applies at the next start";
  for (const Text& line : log_.Lines()) EXPECT_EQ(Text::npos, line.find(u"ExitProcess"));
}

TEST_F(LanguageChangeTest, AReadOnlyMachineKeyDoesNotStopTheChange) {
  auto* store = dynamic_cast<RegistryStore*>(reg_.get());
  if (!store) GTEST_SKIP() << "needs the store's deny-write marks";
  SetId(kHkeyLocalMachine, 0);
  ASSERT_EQ(err::kSuccess, store->MarkDenyWrite(kHkeyLocalMachine, key_, 0, true));
  EXPECT_EQ(LanguageChangeResult::kRestarting, Change(9, LanguageChangeSource::kSettingsPage));
  EXPECT_EQ(u"<none>", ReadSz(kHkeyLocalMachine, u"LangCode"));
  EXPECT_EQ(u"ptbr", ReadSz(kHkeyCurrentUser, u"LangCode"));
  EXPECT_EQ(9, Id());
  ASSERT_EQ(err::kSuccess, store->MarkDenyWrite(kHkeyLocalMachine, key_, 0, false));
}

}  // namespace
}  // namespace hs
