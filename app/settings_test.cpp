// The settings store against the registry of the build (the store natively,
// the real registry under Wine), in a scratch key under HKEY_CURRENT_USER.
#include "app/settings.h"

#include <gtest/gtest.h>

#include <optional>

#include "platform/store/registry_store.h"
#include "testing/manual_clock.h"
#include "testing/memory_log.h"
#include "testing/test_env.h"

namespace hs {
namespace {

std::vector<std::uint8_t> Dw(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
          static_cast<std::uint8_t>(v >> 24)};
}

const Text kPath = u"C:\\Program Files\\HiveSweep\\HiveSweep.exe";

class FakeTasks final : public LogonTasks {
 public:
  std::vector<std::string> calls;
  WinError SetReminderTask(bool on) override { return Note(on ? "reminder+" : "reminder-"); }
  WinError SetAfterCompactionTask(bool on) override { return Note(on ? "after+" : "after-"); }

 private:
  WinError Note(const char* c) {
    calls.emplace_back(c);
    return err::kSuccess;
  }
};

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reg_ = ::hs::testing::MakeContractRegistry();
    base_ = u"Software\\" + ::hs::testing::UniqueName("HSSettings");
    key_ = base_ + u"\\HiveSweep";
    run_ = base_ + u"\\Run";
    store_ = std::make_unique<SettingsStore>(*reg_, log_, key_, run_);
  }
  void TearDown() override { (void)reg_->DeleteTree(kHkeyCurrentUser, base_, 0); }

  void Put(TextView sub, TextView name, std::uint32_t type, const std::vector<std::uint8_t>& data) {
    RegKey k = 0;
    ASSERT_EQ(err::kSuccess, reg_->Create(kHkeyCurrentUser, sub, kKeyAllAccess, &k, nullptr));
    ASSERT_EQ(err::kSuccess, reg_->SetValue(k, name, type, data));
    reg_->Close(k);
  }
  void Put(TextView name, std::uint32_t type, const std::vector<std::uint8_t>& data) { Put(key_, name, type, data); }
  std::optional<RegValue> Get(TextView sub, TextView name) {
    RegKey k = 0;
    if (reg_->Open(kHkeyCurrentUser, sub, kKeyRead, &k) != err::kSuccess) return std::nullopt;
    RegValue v;
    WinError e = reg_->QueryValue(k, name, &v);
    reg_->Close(k);
    if (e != err::kSuccess) return std::nullopt;
    return v;
  }
  std::optional<RegValue> Get(TextView name) { return Get(key_, name); }
  bool KeyExists(TextView sub) {
    RegKey k = 0;
    if (reg_->Open(kHkeyCurrentUser, sub, kKeyRead, &k) != err::kSuccess) return false;
    reg_->Close(k);
    return true;
  }
  StartEntryContext Ctx(int major, LogonTasks* tasks = nullptr) { return {major, kPath, u"HiveSweep", tasks}; }

  std::unique_ptr<Registry> reg_;
  MemoryLog log_;
  Text base_, key_, run_;
  std::unique_ptr<SettingsStore> store_;
};

TEST_F(SettingsTest, FreshAccountLoadsDefaultsAndFirstSaveCountsOneStart) {
  AppSettings s;
  s.StrLastScan = u"stale";  // nothing stored: what is in memory stays
  ASSERT_EQ(err::kSuccess, store_->LoadSettings(&s));
  EXPECT_TRUE(KeyExists(key_)) << "the load creates the settings key";
  EXPECT_EQ(u"stale", s.StrLastScan);
  s.StrLastScan.clear();
  EXPECT_EQ(AppSettings{}, s);
  EXPECT_EQ(1u, s.StartWhenWinBoots);
  EXPECT_EQ(1u, s.SetChkREmovableMedia);
  EXPECT_EQ(1u, s.SetChkSkipEmptyKeys);
  EXPECT_EQ(1u, s.ImprovementProgram);
  EXPECT_EQ(1u, s.ConfirmBkUps);
  EXPECT_EQ(0u, s.GoToSystemTrayOnClose + s.StartScan + s.AutoRepair + s.RegErrFoundTillDate + s.NumTimesHSWRunned);

  ++s.NumTimesHSWRunned;
  ASSERT_EQ(err::kSuccess, store_->SaveSettings(s));
  EXPECT_EQ(Dw(1), Get(u"NumTimesHSWRunned")->data);
  EXPECT_EQ(kRegSz, Get(u"StrLastScanResults")->type);
  EXPECT_EQ(SzData(u"0"), Get(u"StrLastScanResults")->data);
  EXPECT_EQ(SzData(u""), Get(u"StrLastScan")->data) << "an empty text keeps its terminator";
}

TEST_F(SettingsTest, ValuesOfTheWrongShapeKeepWhatIsInMemory) {
  Put(u"StartWhenWinBoots", kRegSz, SzData(u"0"));
  Put(u"SetChkSkipEmptyKeys", kRegQword, {0, 0, 0, 0, 0, 0, 0, 0});
  Put(u"ConfirmBkUps", kRegBinary, Dw(0));
  Put(u"AutoRepair", kRegDword, {1, 0});
  Put(u"StrLastScan", kRegDword, Dw(7));
  Put(u"ScheduledTime", kRegMultiSz, SzData(u"x"));
  Put(u"StrLastStartupOpt", kRegSz, SzData(Text(kMaxSettingTextChars + 1, u'a')));
  Put(u"StrLatestRegDefrag", kRegExpandSz, SzData(u"%TEMP% kept"));
  Put(u"StrLastOptimizeTime", kRegSz, ToUtf16leBytes(u"no terminator"));
  Put(u"StrLatestRestorePoint", kRegSz, SzData(Text(u"first\0second", 12)));
  Put(u"RegErrFoundTillDate", kRegDword, Dw(0xFFFFFFFFu));

  AppSettings s;
  s.AutoRepair = 5;  // as a previous load left it
  ASSERT_EQ(err::kSuccess, store_->LoadSettings(&s));
  EXPECT_EQ(1u, s.StartWhenWinBoots);
  EXPECT_EQ(1u, s.SetChkSkipEmptyKeys);
  EXPECT_EQ(1u, s.ConfirmBkUps);
  EXPECT_EQ(5u, s.AutoRepair);
  EXPECT_EQ(u"", s.StrLastScan);
  EXPECT_EQ(u"", s.ScheduledTime);
  EXPECT_EQ(u"", s.StrLastStartupOpt);
  EXPECT_EQ(u"%TEMP% kept", s.StrLatestRegDefrag);
  EXPECT_EQ(u"no terminator", s.StrLastOptimizeTime);
  EXPECT_EQ(u"first", s.StrLatestRestorePoint);
  EXPECT_EQ(0xFFFFFFFFu, s.RegErrFoundTillDate);
}

TEST_F(SettingsTest, EveryValueSurvivesSaveAndLoad) {
  AppSettings s;
  std::uint32_t n = 100;
  for (auto m : {&AppSettings::StartWhenWinBoots, &AppSettings::GoToSystemTrayOnClose,
                  &AppSettings::SetChkDontShowRedTrayPopup, &AppSettings::SetChkREmovableMedia,
                  &AppSettings::SetChkSkipEmptyKeys, &AppSettings::ImprovementProgram, &AppSettings::ConfirmBkUps,
                  &AppSettings::StartScan, &AppSettings::StartMinimized, &AppSettings::AutoRepair,
                  &AppSettings::RegErrFoundTillDate, &AppSettings::RegErrsFixedTillDate,
                  &AppSettings::RegErrsFixedLast, &AppSettings::NumTimesHSWRunned})
    s.*m = n++;
  s.NumTimesHSWRunned = 0xFFFFFFFFu;
  for (auto m : {&AppSettings::StrLastOptimizeTime, &AppSettings::StrLastScan, &AppSettings::StrLatestRegDefrag,
                  &AppSettings::StrLatestRestorePoint, &AppSettings::StrLastStartupOpt, &AppSettings::ScheduledTime})
    s.*m = u"Dé \u20AC " + ToText(n++);
  s.StrLatestRestorePoint = u"Mon. March 09, 2026. 02:05 PM full backup";
  s.StrLastScanResults = 12345;

  ASSERT_EQ(err::kSuccess, store_->SaveSettings(s));
  EXPECT_EQ(SzData(u"12345"), Get(u"StrLastScanResults")->data);
  AppSettings loaded;
  ASSERT_EQ(err::kSuccess, store_->LoadSettings(&loaded));
  EXPECT_EQ(s, loaded);
}

TEST_F(SettingsTest, LastScanResultsIsAStrictDecimalCount) {
  Put(u"StrLastScanResults", kRegSz, SzData(u"abc"));
  AppSettings s;
  s.StrLastScanResults = 9;
  ASSERT_EQ(err::kSuccess, store_->LoadSettings(&s));
  EXPECT_EQ(0, s.StrLastScanResults);
  ASSERT_EQ(err::kSuccess, store_->SaveSettings(s));
  EXPECT_EQ(SzData(u"0"), Get(u"StrLastScanResults")->data);

  Put(u"StrLastScanResults", kRegDword, Dw(5));
  s.StrLastScanResults = 9;
  ASSERT_EQ(err::kSuccess, store_->LoadSettings(&s));
  EXPECT_EQ(9, s.StrLastScanResults) << "not a text: ignored";

  EXPECT_EQ(0, ParseScanResultsCount(u""));
  EXPECT_EQ(42, ParseScanResultsCount(u" 42\t"));
  EXPECT_EQ(0, ParseScanResultsCount(u"12abc"));
  EXPECT_EQ(0, ParseScanResultsCount(u"-5"));
  EXPECT_EQ(2147483647, ParseScanResultsCount(u"2147483647"));
  EXPECT_EQ(0, ParseScanResultsCount(u"2147483648"));
  EXPECT_EQ(0, ParseScanResultsCount(u"99999999999999999999999"));
}

TEST_F(SettingsTest, ProfileIntsReadWithoutCreatingAndTakeOnlyDwords) {
  const Text section = key_ + u"\\Settings";
  EXPECT_EQ(0x3FFFu, store_->ReadProfileInt(u"Settings", u"SelectedCategories", 0x3FFF));
  EXPECT_FALSE(KeyExists(key_)) << "a read never creates";
  EXPECT_EQ(0x3FFFu, ReadSelectedCategories(*store_));

  Put(section, u"SelectedCategories", kRegSz, SzData(u"5"));
  Put(section, u"Short", kRegDword, {5, 0});
  Put(section, u"Big", kRegDwordBigEndian, Dw(5));
  EXPECT_EQ(7u, store_->ReadProfileInt(u"Settings", u"SelectedCategories", 7));
  EXPECT_EQ(7u, store_->ReadProfileInt(u"Settings", u"Short", 7));
  EXPECT_EQ(7u, store_->ReadProfileInt(u"Settings", u"Big", 7));

  EXPECT_EQ(err::kSuccess, store_->WriteProfileInt(u"New\\Deeper", u"X", 0xFFFFFFFFu));
  EXPECT_EQ(0xFFFFFFFFu, store_->ReadProfileInt(u"New\\Deeper", u"X", 0));
  EXPECT_EQ(Dw(0xFFFFFFFFu), Get(key_ + u"\\New\\Deeper", u"X")->data);
  EXPECT_EQ(err::kSuccess, store_->WriteDword(settings_value::kFirstRun, 1));
  EXPECT_TRUE(store_->HasValue(settings_value::kFirstRun));
  EXPECT_EQ(1u, store_->ReadDword(settings_value::kFirstRun, 0));
}

TEST_F(SettingsTest, DaysSinceLastScanNeedsAWellFormedTime) {
  ManualClock clock(DateTime{2026, 3, 10, 12, 0, 0});
  EXPECT_EQ(-1, store_->DaysSinceLastScan(clock)) << "never scanned";

  auto with = [&](std::vector<std::uint8_t> data, std::uint32_t type = kRegBinary) {
    Put(settings_value::kCurrentScanTime, type, data);
    return store_->DaysSinceLastScan(clock);
  };
  const auto three_days = EncodeSystemTime(DateTime{2026, 3, 7, 12, 0, 0});
  EXPECT_EQ(3, with(three_days));
  EXPECT_EQ(-1, with(std::vector<std::uint8_t>(three_days.begin(), three_days.end() - 1)));
  EXPECT_EQ(-1, with(three_days, kRegNone));
  auto month13 = three_days;
  month13[2] = 13;
  EXPECT_EQ(-1, with(month13));
  EXPECT_EQ(-1, with(EncodeSystemTime(DateTime{2025, 2, 29, 0, 0, 0})));
  EXPECT_EQ(-1, with(EncodeSystemTime(DateTime{2026, 3, 7, 24, 0, 0})));
  EXPECT_EQ(1, with(EncodeSystemTime(DateTime{2026, 3, 8, 13, 0, 0}))) << "47 hours";
  EXPECT_EQ(70, with(EncodeSystemTime(DateTime{2025, 12, 30, 12, 0, 0})));
  EXPECT_EQ(0, with(EncodeSystemTime(DateTime{2026, 5, 1, 0, 0, 0}))) << "a time ahead of the clock";
}

TEST_F(SettingsTest, ScanEndRecordsTimeAndSavesTheNewTotal) {
  ManualClock clock(DateTime{2026, 3, 9, 14, 5, 33, 250});
  AppSettings s;
  s.RegErrFoundTillDate = 10;
  ASSERT_EQ(err::kSuccess, store_->RecordScanEnd(&s, clock, 7));
  EXPECT_EQ(u"Mon. March 09, 2026. 02:05 PM", s.StrLastScan);
  EXPECT_EQ(SzData(s.StrLastScan), Get(u"StrLastScan")->data);
  EXPECT_EQ(17u, s.RegErrFoundTillDate);
  EXPECT_EQ(Dw(17), Get(u"RegErrFoundTillDate")->data) << "the total is saved with the scan";
  DateTime t;
  ASSERT_TRUE(store_->ReadScanTime(&t));
  EXPECT_EQ(2026, t.year);
  EXPECT_EQ(14, t.hour);
  EXPECT_EQ(250, t.millisecond);
  EXPECT_EQ(1, t.day_of_week);
  EXPECT_EQ(0, store_->DaysSinceLastScan(clock));

  s.RegErrFoundTillDate = 0xFFFFFFF0u;
  ASSERT_EQ(err::kSuccess, store_->RecordScanEnd(&s, clock, 0x100));
  EXPECT_EQ(0xFFFFFFFFu, s.RegErrFoundTillDate) << "the running total does not wrap";

  EXPECT_EQ(u"Thu. January 01, 2026. 12:00 AM", FormatSettingsTime(DateTime{2026, 1, 1, 0, 0, 0}));
  EXPECT_EQ(u"", FormatSettingsTime(DateTime{2026, 2, 30, 0, 0, 0}));
}

TEST_F(SettingsTest, LogonEntryUsesTheRunKeyBeforeMajorVersion6AndATaskFrom6On) {
  ASSERT_EQ(err::kSuccess, store_->ApplyStartAtLogon(true, Ctx(5)));
  EXPECT_EQ(SzData(u"\"" + kPath + u"\" -rem"), Get(run_, u"HSWReminder")->data);
  ASSERT_EQ(err::kSuccess, store_->ApplyStartAtLogon(false, Ctx(5)));
  EXPECT_FALSE(Get(run_, u"HSWReminder"));
  EXPECT_EQ(err::kSuccess, store_->ApplyStartAtLogon(false, Ctx(5))) << "already absent";

  StartEntryContext bad = Ctx(5);
  bad.program_path = u"C:\\a\" -evil";
  EXPECT_EQ(err::kInvalidParameter, store_->ApplyStartAtLogon(true, bad));
  EXPECT_FALSE(Get(run_, u"HSWReminder"));

  FakeTasks tasks;
  EXPECT_EQ(err::kCallNotImplemented, store_->ApplyStartAtLogon(true, Ctx(6)));
  ASSERT_EQ(err::kSuccess, store_->ApplyStartAtLogon(true, Ctx(6, &tasks)));
  ASSERT_EQ(err::kSuccess, store_->ApplyStartAtLogon(false, Ctx(6, &tasks)));
  ASSERT_EQ(err::kSuccess, store_->ApplyStartAtLogon(true, Ctx(10, &tasks))) << "Windows 10 and 11";
  EXPECT_EQ((std::vector<std::string>{"reminder+", "reminder-", "reminder+"}), tasks.calls);
  EXPECT_FALSE(Get(run_, u"HSWReminder"));

  // The general page's Apply: close action, logon entry and save.
  AppSettings s;
  ASSERT_EQ(err::kSuccess, ApplyGeneralSettings(*store_, &s, 1, true, Ctx(5)));
  EXPECT_EQ(0u, s.GoToSystemTrayOnClose);
  EXPECT_TRUE(Get(run_, u"HSWReminder"));
  ASSERT_EQ(err::kSuccess, ApplyGeneralSettings(*store_, &s, 0, false, Ctx(5)));
  EXPECT_EQ(1u, s.GoToSystemTrayOnClose);
  EXPECT_FALSE(Get(run_, u"HSWReminder"));
  EXPECT_EQ(Dw(0), Get(u"StartWhenWinBoots")->data);
}

TEST_F(SettingsTest, AfterCompactionEntryReplacesTheReminderAndGivesItBack) {
  ASSERT_EQ(err::kSuccess, store_->ApplyStartAtLogon(true, Ctx(5)));
  ASSERT_EQ(err::kSuccess, store_->ApplyAfterCompactionStart(true, true, Ctx(5)));
  EXPECT_EQ(SzData(u"\"" + kPath + u"\" StartedAfterOptimization "), Get(run_, u"HiveSweep")->data);
  EXPECT_FALSE(Get(run_, u"HSWReminder"));
  ASSERT_EQ(err::kSuccess, store_->ApplyAfterCompactionStart(false, true, Ctx(5)));
  EXPECT_FALSE(Get(run_, u"HiveSweep"));
  EXPECT_TRUE(Get(run_, u"HSWReminder"));

  ASSERT_EQ(err::kSuccess, store_->ApplyAfterCompactionStart(true, false, Ctx(5)));
  ASSERT_EQ(err::kSuccess, store_->ApplyAfterCompactionStart(false, false, Ctx(5)));
  EXPECT_FALSE(Get(run_, u"HSWReminder")) << "start at logon is off";

  StartEntryContext untitled = Ctx(5);
  untitled.app_title.clear();
  EXPECT_EQ(err::kInvalidParameter, store_->ApplyAfterCompactionStart(true, true, untitled));

  FakeTasks tasks;
  ASSERT_EQ(err::kSuccess, store_->ApplyAfterCompactionStart(true, true, Ctx(6, &tasks)));
  ASSERT_EQ(err::kSuccess, store_->ApplyAfterCompactionStart(false, true, Ctx(10, &tasks)));
  EXPECT_EQ((std::vector<std::string>{"reminder-", "after+", "after-", "reminder+"}), tasks.calls);
  EXPECT_FALSE(Get(run_, u"HiveSweep"));
}

TEST_F(SettingsTest, ScanAreasPageKeepsAtLeastOneArea) {
  EXPECT_EQ(AreaChecks{}, AreaChecksFromMask(0));
  AreaChecks all;
  all.fill(true);
  EXPECT_EQ(all, AreaChecksFromMask(0xFFFFFFFFu));
  AreaChecks some{};
  some[0] = some[13] = true;
  EXPECT_EQ(0x2001u, MaskFromAreaChecks(some));
  EXPECT_EQ(GroupCheck::kAll, GroupCheckState(0x105A, 1));
  EXPECT_EQ(GroupCheck::kSome, GroupCheckState(0x0001, 2));
  EXPECT_EQ(GroupCheck::kNone, GroupCheckState(0x3FFF, 5));

  Put(key_ + u"\\Settings", u"SelectedCategories", kRegDword, Dw(0));
  EXPECT_EQ(0u, ReadSelectedCategories(*store_)) << "a stored 0 unchecks every box";
  AppSettings s;
  ScanAreasResult r = ApplyScanAreas(*store_, s, 0x4000);
  EXPECT_TRUE(r.none_selected);
  EXPECT_EQ(0u, r.boxes);
  EXPECT_FALSE(Get(u"StartWhenWinBoots")) << "nothing saved";

  r = ApplyScanAreas(*store_, s, 0x4005);
  EXPECT_FALSE(r.none_selected);
  EXPECT_EQ(err::kSuccess, r.error);
  EXPECT_EQ(0x5u, r.boxes);
  EXPECT_EQ(0x5u, ReadSelectedCategories(*store_));
  EXPECT_TRUE(Get(u"StartWhenWinBoots")) << "the record is saved with the mask";

  r = RestoreDefaultScanAreas(*store_);
  EXPECT_EQ(err::kSuccess, r.error);
  EXPECT_EQ(0x3FFFu, r.boxes);
}

#ifndef _WIN32
// A read-only settings key needs the store's deny-write mark.
TEST(SettingsStoreDenied, ReadOnlyKeyLoadsAndRefusesSaves) {
  RegistryStore reg;
  MemoryLog log;
  RegKey k = 0;
  ASSERT_EQ(err::kSuccess, reg.Create(kHkeyCurrentUser, u"Software\\Locked\\HiveSweep", kKeyAllAccess, &k, nullptr));
  ASSERT_EQ(err::kSuccess, reg.SetValue(k, u"AutoRepair", kRegDword, Dw(1)));
  reg.Close(k);
  ASSERT_EQ(err::kSuccess, reg.MarkDenyWrite(kHkeyCurrentUser, u"Software\\Locked\\HiveSweep", 0, true));
  SettingsStore store(reg, log, u"Software\\Locked\\HiveSweep");
  AppSettings s;
  ASSERT_EQ(err::kSuccess, store.LoadSettings(&s));
  EXPECT_EQ(1u, s.AutoRepair);
  EXPECT_EQ(err::kAccessDenied, store.SaveSettings(s));
  EXPECT_FALSE(log.Lines().empty());

  ASSERT_EQ(err::kSuccess, reg.MarkDenyWrite(kHkeyCurrentUser, u"Software\\Locked", 0, true));
  SettingsStore missing(reg, log, u"Software\\Locked\\Other");
  AppSettings d;
  EXPECT_EQ(err::kAccessDenied, missing.LoadSettings(&d)) << "the key can be neither opened nor created";
  EXPECT_EQ(AppSettings{}, d);
  EXPECT_EQ(0u, reg.OpenHandleCount());
}
#endif

}  // namespace
}  // namespace hs
