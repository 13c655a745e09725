#include "platform/portable/file_task_scheduler.h"

#include <gtest/gtest.h>

#include <fstream>

#include "testing/test_env.h"

namespace hs {
namespace {

namespace stdfs = std::filesystem;

WorkItem Item(TextView name, TextView parameters = u"") {
  WorkItem w;
  w.name = Text(name);
  w.program = u"C:\\x.exe";
  w.parameters = Text(parameters);
  return w;
}

const char kGood[] =
    "hivesweep-tasks 1\r\n"
    "[workitem]\r\n"
    "name=HiveSweepsch\r\n"
    "program=C:\\HiveSweep\\HiveSweep.exe\r\n"
    "parameters=scan\r\n"
    "flags=8193\r\n"
    "trigger=weekly 2026-12-10 09:30 1 34 0 0\r\n"
    "\r\n"
    "[logon]\r\n"
    "name=HiveSweep\r\n"
    "arguments=-rem\r\n"
    "runlevel=least\r\n";

TEST(TaskFile, ReadsWhatItWritesAndAcceptsCrLf) {
  TaskFileContents c;
  std::string error;
  ASSERT_TRUE(ParseTaskFile(kGood, &c, &error)) << error;
  ASSERT_EQ(1u, c.items.size());
  EXPECT_EQ(u"scan", c.items[0].parameters);
  EXPECT_EQ(8193u, c.items[0].flags);
  ASSERT_EQ(1u, c.items[0].triggers.size());
  EXPECT_EQ((TaskTrigger{TriggerKind::kWeekly, 2026, 12, 10, 9, 30, 1, 34, 0, 0}), c.items[0].triggers[0]);
  ASSERT_EQ(1u, c.logon.size());
  EXPECT_FALSE(c.logon[0].highest_run_level);
  EXPECT_EQ(u"PT5S", c.logon[0].delay) << "defaults stay when not given";

  TaskFileContents again;
  ASSERT_TRUE(ParseTaskFile(FormatTaskFile(c), &again, &error)) << error;
  EXPECT_EQ(c.items, again.items);
  EXPECT_EQ(c.logon, again.logon);
}

TEST(TaskFile, RefusesMalformedFilesWithTheLine) {
  const std::string head = "hivesweep-tasks 1\n[workitem]\nname=A\n";
  const struct {
    std::string text;
    const char* line;
  } bad[] = {
      {"", "line 0"},
      {"hivesweep-tasks 2\n", "line 1"},
      {"hivesweep-tasks 1\nname=A\n", "line 2"},
      {"hivesweep-tasks 1\n[workitem]\nprogram=x\n", "line 3"},
      {head + "program=a\nprogram=b\n", "line 5"},
      {head + "colour=red\n", "line 4"},
      {head + "flags=-1\n", "line 4"},
      {head + "flags=99999999999\n", "line 4"},
      {head + "trigger=weekly 2026-12-10 09:30 1 0 0 0\n", "line 4"},   // no weekday
      {head + "trigger=daily 2026-02-30x09:30 1 0 0 0\n", "line 4"},
      {head + "trigger=daily 2026-12-10 24:00 1 0 0 0\n", "line 4"},
      {head + "trigger=daily 2026-12-10 09:30 0 0 0 0\n", "line 4"},    // interval 0
      {head + "trigger=monthly 2026-12-10 09:30 1 0 1 4096\n", "line 4"},
      {head + "trigger=daily 2026-12-10  09:30 1 0 0 0\n", "line 4"},
      {head + "[workitem]\nname=a\n", "line 5"},                         // same name, other case
      {head + "parameters=a\tb\n", "line 4"},
      {head + "name2=x\x01\n", "line 4"},
      {head + "[logon]\nname=B\nrunlevel=high\n", "line 6"},
      {head + "parameters=\xC3\x28\n", "line 0"},
      {"hivesweep-tasks 1\n[workitem]\nname=a/b\n", "line 3"},
  };
  for (const auto& b : bad) {
    TaskFileContents c;
    std::string error;
    EXPECT_FALSE(ParseTaskFile(b.text, &c, &error)) << b.text;
    EXPECT_EQ(0u, error.rfind(b.line, 0)) << b.text << " -> " << error;
  }
  std::string many = "hivesweep-tasks 1\n[workitem]\nname=A\n";
  for (std::size_t i = 0; i <= kMaxTaskTriggers; ++i) many += "trigger=daily 2026-12-10 09:30 1 0 0 0\n";
  TaskFileContents c;
  std::string error;
  EXPECT_FALSE(ParseTaskFile(many, &c, &error));
  EXPECT_NE(std::string::npos, error.find("too many triggers")) << error;
  EXPECT_FALSE(ParseTaskFile(std::string(kMaxTaskFileBytes + 1, 'a'), &c, &error));
}

class FileTaskSchedulerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = stdfs::temp_directory_path() / ToUtf8(testing::UniqueName("hs_taskfile"));
    stdfs::create_directories(dir_);
  }
  void TearDown() override { stdfs::remove_all(dir_); }
  static void Write(const stdfs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }
  stdfs::path dir_;
};

TEST_F(FileTaskSchedulerTest, ReadsTheSeedAndWritesOnlyItsOwnFile) {
  Write(dir_ / "seed.txt", kGood);
  FileTaskScheduler scheduler(dir_ / "state" / "tasks.txt", dir_ / "seed.txt");
  WorkItem item;
  ASSERT_EQ(err::kSuccess, scheduler.ReadWorkItem(u"hivesweepSCH", &item)) << "names ignore case";
  EXPECT_EQ(u"HiveSweepsch", item.name);
  ASSERT_EQ(err::kSuccess, scheduler.DeleteWorkItem(u"HiveSweepsch"));
  EXPECT_EQ(err::kFileNotFound, scheduler.ReadWorkItem(u"HiveSweepsch", &item));
  EXPECT_TRUE(stdfs::exists(dir_ / "state" / "tasks.txt"));
  std::ifstream seed(dir_ / "seed.txt", std::ios::binary);
  EXPECT_EQ(kGood, std::string(std::istreambuf_iterator<char>(seed), {})) << "the seed is never written";
  LogonTaskDefinition logon;
  EXPECT_EQ(err::kSuccess, scheduler.ReadLogonTask(u"HiveSweep", &logon)) << "the rest of the seed is kept";
}

TEST_F(FileTaskSchedulerTest, AnUnreadableFileIsNeverOverwritten) {
  const std::string broken = std::string(kGood) + "trigger=sometimes\n";
  Write(dir_ / "tasks.txt", broken);
  FileTaskScheduler scheduler(dir_ / "tasks.txt");
  const WorkItem item = Item(u"X");
  EXPECT_EQ(err::kInvalidData, scheduler.CreateWorkItem(item));
  EXPECT_NE(std::string::npos, scheduler.last_error().find("line 13")) << scheduler.last_error();
  std::ifstream in(dir_ / "tasks.txt", std::ios::binary);
  EXPECT_EQ(broken, std::string(std::istreambuf_iterator<char>(in), {}));
}

TEST_F(FileTaskSchedulerTest, RefusesTextsTheFileCannotHold) {
  FileTaskScheduler scheduler(dir_ / "tasks.txt");
  EXPECT_EQ(err::kInvalidName, scheduler.CreateWorkItem(Item(u"a\\b")));
  EXPECT_EQ(err::kInvalidName, scheduler.CreateWorkItem(Item(u"a\nb")));
  EXPECT_EQ(err::kInvalidParameter, scheduler.CreateWorkItem(Item(u"a", u"x\r\n[workitem]")));
  WorkItem bad_trigger = Item(u"a");
  bad_trigger.triggers.push_back(TaskTrigger{TriggerKind::kWeekly, 2026, 12, 10, 9, 30, 1, 0});
  EXPECT_EQ(err::kInvalidParameter, scheduler.CreateWorkItem(bad_trigger));
  EXPECT_FALSE(stdfs::exists(dir_ / "tasks.txt"));
}

}  // namespace
}  // namespace hs
