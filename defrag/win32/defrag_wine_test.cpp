// Hive analysis and installation on the live registry. Wine's hivelist is
// empty: the test seeds it with files of the prefix, and puts everything it
// changed (hivelist, BootExecute, the parameter file and the boot program)
// back at the end.
#include <gtest/gtest.h>

#include "defrag/hive_analysis.h"
#include "defrag/hive_installer.h"
#include "platform/win32/win32_hives.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_wow64.h"
#include "testing/defrag_doubles.h"
#include "testing/manual_clock.h"
#include "testing/memory_log.h"

namespace hs {
namespace {

Text Texts(TextView key) { return Text(key); }

// The first user hive key below HKEY_USERS (S-1-5-21-...).
Text UserSid(Registry& reg) {
  for (std::uint32_t i = 0;; ++i) {
    Text name;
    if (reg.EnumKey(kHkeyUsers, i, 256, &name) != err::kSuccess) return {};
    if (StartsWithNoCase(name, u"S-1-5-21-") && name.find(u'_') == Text::npos) return name;
  }
}

struct Seeded {
  Win32Registry reg;
  bool w64 = Win32Wow64().IsWow64Process();
  Win32Hives hives{reg, w64};
  RegKey hivelist = 0;
  std::vector<Text> names;
  std::optional<RegValue> boot_execute;
  std::vector<Text> files;

  ~Seeded() {
    for (const Text& n : names) (void)reg.DeleteValue(hivelist, n);
    if (hivelist) reg.Close(hivelist);
    if (boot_execute) (void)hives.WriteBootExecute(*boot_execute);
    for (const Text& f : files) (void)hives.DeleteFile(f);
  }
  void File(TextView path, std::size_t size) {
    ASSERT_EQ(hives.WriteFile(path, std::vector<std::uint8_t>(size, 0x5A)), err::kSuccess);
    files.emplace_back(path);
  }
  void Hive(TextView name, TextView path) {
    ASSERT_EQ(reg.SetValue(hivelist, name, kRegSz, SzData(path)), err::kSuccess);
    names.emplace_back(name);
  }
};

TEST(DefragOnWine, SeededHivesAreMeasuredAndTheInstallationKeepsOtherBootEntries) {
  Seeded s;
  ASSERT_TRUE(s.hives.EnablePrivileges());
  ASSERT_EQ(s.reg.Create(kHkeyLocalMachine, kHiveListKey, kKeyAllAccess | (s.w64 ? kKeyWow64_64Key : 0), &s.hivelist,
                         nullptr),
            err::kSuccess);
  const Text sid = UserSid(s.reg);
  ASSERT_FALSE(sid.empty());
  Text device;
  for (const DriveDevice& d : s.hives.FixedDrives())
    if (d.drive == u"C:") device = d.device;
  ASSERT_FALSE(device.empty());
  ASSERT_EQ(s.hives.CreateFolder(u"C:\\hs-defrag-wine"), err::kSuccess);
  s.File(u"C:\\hs-defrag-wine\\NTUSER.DAT", 65536);
  s.File(u"C:\\hs-defrag-wine\\SYSTEM", 32768);
  s.Hive(u"\\REGISTRY\\USER\\" + sid, device + u"\\hs-defrag-wine\\NTUSER.DAT");
  s.Hive(u"\\REGISTRY\\MACHINE\\SYSTEM", device + u"\\hs-defrag-wine\\SYSTEM");

  // The analysis measures the user hive (SYSTEM is never analysed).
  ManualClock clock;
  MemoryLog log;
  {
    CRegCompact engine(s.hives, clock, log);
    testing::NoProgress progress;
    engine.AnalyseHives(progress, Texts);
    ASSERT_EQ(engine.count, 1u);
    const HiveRecord& r = engine.records[0];
    EXPECT_EQ(r.filePath, u"C:\\hs-defrag-wine\\NTUSER.DAT");
    EXPECT_EQ(r.saved, 1u);
    EXPECT_EQ(r.fileSize, 65536u);
    EXPECT_GT(r.compactSize, 0u);  // Wine saves its text format
    EXPECT_TRUE(s.hives.Exists(r.copyPath));
  }

  // The installation, with another product's boot entry present.
  RegValue old;
  if (s.hives.ReadBootExecute(&old) == err::kSuccess) s.boot_execute = old;
  else s.boot_execute = RegValue{kRegMultiSz, MultiStringData({Text(kAutocheckEntry)})};
  ASSERT_EQ(s.hives.WriteBootExecute({kRegMultiSz, MultiStringData({u"autocheck autochk *", u"othercheck x"})}),
            err::kSuccess);
  const Text system = s.hives.Folders().system_dir;
  const Text param = system + u"\\" + Text(kParameterFileName);
  s.files.push_back(param);
  testing::RecordingPrompts prompts{PromptAnswer::kNo};
  HiveInstaller installer({s.hives, prompts, log, Texts, 6, s.w64});
  s.File(installer.BootProgramFile(), 16);
  bool quit = true;
  ASSERT_TRUE(installer.InstallBootCompaction(&quit)) << (prompts.shown.empty() ? "" : ToUtf8(prompts.shown[0]));
  EXPECT_FALSE(quit);
  EXPECT_EQ(prompts.shown, (std::vector<Text>{u"IDS_OPT_AT_NEXT_RESTART"}));

  std::vector<std::uint8_t> bytes;
  ASSERT_EQ(s.hives.ReadFile(param, 1 << 20, &bytes), err::kSuccess);
  ParameterFile written;
  std::string why;
  ASSERT_EQ(ParseParameterFile(bytes, ParameterForm::kWritten, &written, &why), ParameterParse::kOk) << why;
  EXPECT_EQ(written.status, kCompactionPending);
  ASSERT_EQ(written.records.size(), 2u);
  EXPECT_EQ(written.records[0].name, u"\\REGISTRY\\MACHINE\\SYSTEM");
  EXPECT_EQ(written.records[0].size, 32768u);
  EXPECT_EQ(written.records[1].path, device + u"\\hs-defrag-wine\\NTUSER.DAT");

  RegValue now;
  ASSERT_EQ(s.hives.ReadBootExecute(&now), err::kSuccess);
  EXPECT_EQ(MultiStringEntries(now.data),
            (std::vector<Text>{u"autocheck autochk *", installer.BootProgram() + u" \\??\\" + param, u"othercheck x"}));
  // Nothing has run at a restart yet.
  EXPECT_EQ(installer.ReadCompactionResults(), 1);
}

}  // namespace
}  // namespace hs
