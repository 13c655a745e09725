// AddProblem's vetting steps and the empty-key check, on the build's
// contract registry (the store natively, the real registry under Wine).
#include "engine/category.h"

#include <gtest/gtest.h>

#include "areas/safe_lists.h"
#include "areas/user_lists.h"
#include "engine/scan_manager.h"
#include "platform/store/registry_store.h"
#include "testing/scan_fixture.h"

namespace hs {
namespace {

using ::hs::testing::MakePlain;

using ::hs::testing::ScanFixture;

class NoFolders final : public ShellFolders {
 public:
  Text AppDataFolder() override { return {}; }
  Text SpecialFolderPath(int) override { return {}; }
};

// Records the masks the protection query is asked with.
class RecordingProtection final : public KeyProtection {
 public:
  bool IsKeyProtected(RegKey, TextView subkey, std::uint32_t sam) override {
    masks.push_back(sam);
    return subkey == u"Software\\Protected";
  }
  std::vector<std::uint32_t> masks;
};

class AddProblemTest : public ::testing::Test {
 protected:
  AddProblemTest() : fx_(MachineFacts{}, MakePlain), safe_(folders_) {
    fx_.context.safe_lists = &safe_;
    fx_.context.exclusions = &exclusions_;
    fx_.context.temp_ignore = &temp_;
    fx_.manager->CreateAreas(kAllAreasMask, 14);
    base_ = u"Software\\" + ::hs::testing::UniqueName("HSAdd");
    RegKey k = 0;
    EXPECT_EQ(err::kSuccess, fx_.registry->Create(kHkeyCurrentUser, base_, kKeyAllAccess, &k, nullptr));
    fx_.registry->Close(k);
  }
  ~AddProblemTest() override { (void)fx_.registry->DeleteTree(kHkeyCurrentUser, base_, 0); }
  CCategory& area(std::uint32_t bit = 0x0002) { return *fx_.manager->AreaByBit(bit); }
  Text Key(TextView sub = u"") { return u"HKEY_CURRENT_USER\\" + base_ + (sub.empty() ? u"" : u"\\" + Text(sub)); }

  NoFolders folders_;
  ScanFixture fx_;
  SafeLists safe_;
  UserList exclusions_{UserListKind::kExclusion};
  UserList temp_{UserListKind::kTempIgnore};
  Text base_;
};

TEST_F(AddProblemTest, RecordsTheEntryTickedWithALogLine) {
  int i = area().AddProblem(13, Key(), u"Path", u"C:\\gone.exe", u"", false);
  ASSERT_EQ(0, i);
  area().AddProblemDetail(i, u"heading");
  area().AddProblemDetail(-1, u"ignored");
  area().AddProblemDetail(5, u"ignored");
  const CProblem& p = *area().problems()[0];
  EXPECT_EQ(1, p.selected);
  EXPECT_EQ(std::vector<Text>{u"heading"}, p.details);
  EXPECT_EQ(&fx_.manager->undo_holder(), p.recorder);
  EXPECT_TRUE(area().HasProblem(Key(), 13));
  EXPECT_FALSE(area().HasProblem(Upcase(Key()), 13)) << "the has-problem test is case-sensitive";
  ASSERT_FALSE(fx_.log.Lines().empty());
  EXPECT_EQ(u"Invalid Entry Found :\r\n EntryType:13\r\n Key:" + Key() +
                u"\r\n ValueName:Path \r\n ValueData:C:\\gone.exe \r\n AlternateKey: \r\n 32BitEntry:0",
            fx_.log.Lines().back());
}

TEST_F(AddProblemTest, SafeKeysRootNamesAndExclusions) {
  EXPECT_EQ(-1, area().AddProblem(2, u"HKEY_CLASSES_ROOT\\exefile\\shell\\open\\command", u"", u"x", u"", false));
  EXPECT_EQ(-1, area().AddProblem(33, Key(), u"C:\\Program Files\\Norton\\x.dll", u"", u"", false))
      << "a shared file's path is tested against the safe key list too";
  EXPECT_EQ(-1, area().AddProblem(2, u"hkey_current_user\\" + base_, u"", u"x", u"", false));
  EXPECT_EQ(-1, area().AddProblem(2, u"HKEY_CURRENT_USER", u"", u"x", u"", false));
  exclusions_.Add(Upcase(Key(u"Foo")));
  EXPECT_EQ(-1, area().AddProblem(2, Key(u"foo\\Bar"), u"", u"x", u"", false));
  EXPECT_EQ(-1, area().AddProblem(2, Key(u"FooBar"), u"", u"x", u"", false)) << "no boundary check";
  EXPECT_EQ(0, area().AddProblem(2, Key(u"Fo"), u"", u"x", u"", false));
}

TEST(AddProblemDuplicates, AcrossAreasAndRootsButNotAcrossViews) {
  // No registry access: the user is not an administrator.
  ScanFixture fx(MachineFacts{6, /*administrator=*/false}, MakePlain);
  fx.manager->CreateAreas(kAllAreasMask, 14);
  CCategory& a = *fx.manager->AreaByBit(0x0001);
  CCategory& b = *fx.manager->AreaByBit(0x0004);
  const Text clsid = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{ABC}";
  EXPECT_EQ(0, a.AddProblem(2, clsid, u"", u"C:\\x.dll", u"", false));
  EXPECT_EQ(-1, b.AddProblem(2, u"HKEY_CLASSES_ROOT\\CLSID\\{abc}", u"", u"c:\\X.DLL", u"", false));
  EXPECT_EQ(0, b.AddProblem(2, u"HKEY_CLASSES_ROOT\\CLSID\\{abc}", u"", u"c:\\X.DLL", u"", true))
      << "the 32-bit view's entry is another problem";
  EXPECT_EQ(1, b.AddProblem(2, u"HKEY_CLASSES_ROOT\\CLSID\\{abc}", u"", u"c:\\other.dll", u"", false));
}

class FixedWow64 final : public Wow64 {
 public:
  explicit FixedWow64(bool windows64) : windows64_(windows64) {}
  bool IsWow64Process() override { return windows64_; }
  bool DisableFsRedirection(void**) override { return false; }
  bool RevertFsRedirection(void*) override { return false; }

 private:
  bool windows64_;
};

TEST(AddProblemMasks, ProtectionIsAskedWithTheMaskOfTheEntrysView) {
  for (bool windows64 : {true, false}) {
    ScanFixture fx(MachineFacts{6, /*administrator=*/false}, MakePlain);
    RecordingProtection protection;
    FixedWow64 wow(windows64);
    ScanContext context{*fx.registry, wow, fx.system, protection, fx.notifier, fx.log};
    ScanManager manager(context, MakePlain);
    manager.CreateAreas(0x0002, 1);
    CCategory& a = *manager.AreaByBit(0x0002);
    EXPECT_EQ(0, a.AddProblem(2, u"HKEY_LOCAL_MACHINE\\Software\\A", u"", u"1", u"", true));
    EXPECT_EQ(1, a.AddProblem(2, u"HKEY_LOCAL_MACHINE\\Software\\A", u"", u"1", u"", false));
    EXPECT_EQ(-1, a.AddProblem(2, u"HKEY_LOCAL_MACHINE\\Software\\Protected", u"", u"1", u"", false));
    EXPECT_EQ(2, a.AddProblem(34, u"C:\\Users\\x\\Desktop\\a.lnk", u"", u"1", u"", false))
        << "file problems skip the root and protection checks";
    if (windows64) {
      EXPECT_EQ((std::vector<std::uint32_t>{0x2021F, 0x2011F, 0x2011F}), protection.masks);
    } else {
      EXPECT_EQ((std::vector<std::uint32_t>{0x2001F, 0x2001F, 0x2001F}), protection.masks);
    }
  }
}

TEST_F(AddProblemTest, TemporaryIgnoreAppliesToHistoryTypesOnly) {
  temp_.Add(u"");
  temp_.Add(Key(u"Recent"));
  EXPECT_EQ(-1, area(0x0020).AddProblem(27, Key(u"recent\\a"), u"", u"x", u"", false));
  EXPECT_EQ(-1, area(0x0020).AddProblem(32, Key(u"recent\\a"), u"", u"x", u"", false));
  EXPECT_EQ(0, area(0x0020).AddProblem(33, Key(u"recent\\a"), u"", u"x", u"", false));
  EXPECT_EQ(1, area(0x0020).AddProblem(25, Key(u"recent\\a"), u"", u"y", u"", false));
  EXPECT_EQ(2, area(0x0020).AddProblem(26, Key(u"other"), u"", u"x", u"", false)) << "empty entries are skipped";
}

TEST_F(AddProblemTest, AnAdministratorsMissingKeyIsKeptButNeverCreated) {
  EXPECT_EQ(0, area().AddProblem(4, Key(u"Missing\\Deeper"), u"", u"", u"", false));
  RegKey k = 0;
  EXPECT_EQ(err::kFileNotFound, fx_.registry->Open(kHkeyCurrentUser, base_ + u"\\Missing", kKeyRead, &k))
      << "a scan does not change the registry";
}

#ifndef _WIN32
TEST(AddProblemStore, AKeyAnAdministratorCannotChangeIsDropped) {
  RegistryStore::Options o;
  o.windows64 = true;
  RegistryStore store(o);
  RegKey k = 0;
  ASSERT_EQ(err::kSuccess, store.Create(kHkeyLocalMachine, u"Software\\Locked", kKeyAllAccess, &k, nullptr));
  store.Close(k);
  ASSERT_EQ(err::kSuccess, store.MarkDenyWrite(kHkeyLocalMachine, u"Software\\Locked", 0, true));
  ScanFixture fx(MachineFacts{}, MakePlain);
  ScanContext context{store, *fx.wow64, fx.system, fx.protection, fx.notifier, fx.log};
  ScanManager manager(context, MakePlain);
  manager.CreateAreas(0x0002, 1);
  CCategory& a = *manager.AreaByBit(0x0002);
  EXPECT_EQ(-1, a.AddProblem(2, u"HKEY_LOCAL_MACHINE\\Software\\Locked", u"", u"x", u"", true));
  EXPECT_EQ(-1, a.AddProblem(2, u"HKEY_LOCAL_MACHINE\\Software\\Locked\\Below", u"", u"x", u"", true));
  EXPECT_EQ(0, a.AddProblem(2, u"HKEY_LOCAL_MACHINE\\Software\\Open", u"", u"x", u"", true));
}
#endif

class EmptyKeys : public AddProblemTest {
 protected:
  void Make(TextView sub) {
    RegKey k = 0;
    ASSERT_EQ(err::kSuccess, fx_.registry->Create(kHkeyCurrentUser, base_ + u"\\" + Text(sub),
                                                  kKeyAllAccess | kKeyWow64_32Key, &k, nullptr));
    fx_.registry->Close(k);
  }
  void SetDefault(TextView sub, TextView text, TextView name = u"") {
    RegKey k = 0;
    ASSERT_EQ(err::kSuccess, fx_.registry->Create(kHkeyCurrentUser, base_ + u"\\" + Text(sub),
                                                  kKeyAllAccess | kKeyWow64_32Key, &k, nullptr));
    auto b = ToUtf16leBytes(text);
    b.push_back(0);
    b.push_back(0);
    ASSERT_EQ(err::kSuccess, fx_.registry->SetValue(k, name, kRegSz, b));
    fx_.registry->Close(k);
  }
  std::vector<Text> Reported() {
    std::vector<Text> keys;
    for (auto& p : area().problems()) keys.push_back(p->key);
    return keys;
  }
};

TEST_F(EmptyKeys, ReportsKeysThatHoldNothing) {
  fx_.context.skip_empty_keys = false;
  Make(u"Empty");
  SetDefault(u"EmptyDefault", u"");
  SetDefault(u"WithDefault", u"data");
  SetDefault(u"Named", u"", u"name");
  Make(u"Parent\\Child");
  Make(u"Skipped\\Inner");
  Make(u"Guid\\{0000-HS-TEST}");
  EXPECT_FALSE(area().FindEmptyKeys(kHkeyCurrentUser, base_, false, {u"skipped"}, true));
  EXPECT_EQ((std::vector<Text>{Key(u"Empty"), Key(u"EmptyDefault"), Key(u"Parent\\Child")}), Reported());
  const CProblem& p = *area().problems()[0];
  EXPECT_EQ(kEmptyKeyEntryType, p.entry_type);
  EXPECT_EQ(1, p.entry32);
  EXPECT_EQ((std::vector<Text>{u"IDS_EMPTY_KEY", Key(u"Empty")}), p.details);
}

TEST_F(EmptyKeys, TheSettingSkipsThemAndMissingKeysAnswerTrue) {
  Make(u"Empty");
  EXPECT_FALSE(area().FindEmptyKeys(kHkeyCurrentUser, base_, false, {}, true));
  EXPECT_TRUE(Reported().empty());
  fx_.context.skip_empty_keys = false;
  EXPECT_TRUE(area().FindEmptyKeys(kHkeyCurrentUser, base_ + u"\\Nope", false, {}, true));
  fx_.manager->Cancel();
  EXPECT_TRUE(area().FindEmptyKeys(kHkeyCurrentUser, base_, false, {}, true));
  EXPECT_TRUE(Reported().empty());
}

TEST_F(EmptyKeys, ProtectedFragmentsAreNeverReported) {
  fx_.context.skip_empty_keys = false;
  Make(u"Policies\\Microsoft\\X");
  Make(u"Vendor\\OpenWithList");
  EXPECT_FALSE(area().FindEmptyKeys(kHkeyCurrentUser, base_, false, {}, true));
  EXPECT_TRUE(Reported().empty());
}

}  // namespace
}  // namespace hs
