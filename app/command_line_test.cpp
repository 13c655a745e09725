#include "app/command_line.h"

#include <gtest/gtest.h>

namespace hs {
namespace {

StartupFlags Parse(std::vector<Text> args, bool admin = true) { return ParseCommandLine(args, admin); }

TEST(CommandLine, OptionsAreNormalised) {
  EXPECT_EQ(u"scan", NormalizeOption(u"/SCAN"));
  EXPECT_EQ(u"scan", NormalizeOption(u"--Scan "));
  EXPECT_EQ(u"scan", NormalizeOption(u"\\-scan"));
  EXPECT_EQ(u"startedafteroptimization", NormalizeOption(u" -StartedAfterOptimization "));
  for (const char16_t* a : {u"/SCAN", u"-scan", u"scan", u"--Scan "}) {
    StartupFlags f = Parse({a});
    EXPECT_TRUE(f.scan_now) << ToUtf8(a);
    EXPECT_TRUE(f.unattended);
    EXPECT_FALSE(f.show_main_window);
  }
}

TEST(CommandLine, InteractiveStarts) {
  for (std::vector<Text> args : {std::vector<Text>{}, {u"whatever"}, {u"-changelang"}, {u""}}) {
    StartupFlags f = Parse(args);
    EXPECT_TRUE(f.show_main_window);
    EXPECT_FALSE(f.unattended || f.scan_now || f.silent_results || f.update_check);
  }
  StartupFlags rem = Parse({u"-rem", u"scan"});
  EXPECT_TRUE(rem.reminder);
  EXPECT_TRUE(rem.show_main_window);
  EXPECT_FALSE(rem.scan_now) << "only the first argument counts";
  StartupFlags ppi = Parse({u"ppibuild"});
  EXPECT_TRUE(ppi.ppi_build && ppi.show_main_window);
  StartupFlags opt = Parse({u"StartedAfterOptimization"});
  EXPECT_TRUE(opt.after_compaction && opt.show_main_window && !opt.scan_now);
}

TEST(CommandLine, HiddenAndEndingOptions) {
  StartupFlags silent = Parse({u"silentresults"});
  EXPECT_TRUE(silent.silent_results);
  EXPECT_FALSE(silent.show_main_window);
  StartupFlags update = Parse({u"/updatecheck"});
  EXPECT_TRUE(update.update_check && update.unattended && !update.show_main_window);
  StartupFlags def = Parse({u"default"});
  EXPECT_TRUE(def.default_task && !def.show_main_window && !def.unattended);
}

TEST(CommandLine, ElevatedRestartsNeedAnAdministrator) {
  EXPECT_TRUE(Parse({u"hvxvistascan"}, true).vista_scan);
  StartupFlags f = Parse({u"hvxvistascan"}, false);
  EXPECT_FALSE(f.vista_scan);
  EXPECT_TRUE(f.show_main_window) << "behaves like an ordinary start";
  EXPECT_TRUE(Parse({u"-hvxvistaschedule"}, true).vista_schedule);
  EXPECT_TRUE(Parse({u"hvxVistaPartialBackupRestore"}, true).vista_partial_backup_restore);
  EXPECT_FALSE(Parse({u"hvxvistafullbackup"}, false).vista_full_backup);
}

}  // namespace
}  // namespace hs
