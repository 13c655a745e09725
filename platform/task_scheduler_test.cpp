#include "platform/task_scheduler.h"

#include <gtest/gtest.h>

#include <deque>

#include "testing/manual_clock.h"

namespace hs {
namespace {

// Answers queries from a script; the last status repeats.
class ScriptedService final : public TaskScheduler {
 public:
  std::deque<ServiceStatus> script;
  int starts = 0, automatic_sets = 0, continues = 0;
  WinError start_result = err::kSuccess;

  WinError QueryService(ServiceStatus* out) override {
    *out = script.front();
    if (script.size() > 1) script.pop_front();
    return err::kSuccess;
  }
  WinError RunService() override {
    ++starts;
    return start_result;
  }
  WinError SetServiceAutomatic() override {
    ++automatic_sets;
    return err::kSuccess;
  }
  WinError ContinueService() override {
    ++continues;
    return err::kSuccess;
  }
  WinError CreateWorkItem(const WorkItem&) override { return err::kCallNotImplemented; }
  WinError DeleteWorkItem(TextView) override { return err::kCallNotImplemented; }
  WinError ReadWorkItem(TextView, WorkItem*) override { return err::kCallNotImplemented; }
  WinError ListWorkItems(std::vector<Text>*) override { return err::kCallNotImplemented; }
  WinError RegisterLogonTask(const LogonTaskDefinition&) override { return err::kCallNotImplemented; }
  WinError DeleteLogonTask(TextView) override { return err::kCallNotImplemented; }
  WinError ReadLogonTask(TextView, LogonTaskDefinition*) override { return err::kCallNotImplemented; }
};

using S = ServiceState;

TEST(EnsureServiceRunning, StartsAStoppedServiceAndWaitsWhileItReportsProgress) {
  ScriptedService service;
  // Wait hint 20 s: polls every 2 s. The check point moves twice, then it runs.
  service.script = {{S::kStopped, 0, 0, false}, {S::kStartPending, 1, 20000}, {S::kStartPending, 2, 20000},
                    {S::kStartPending, 3, 20000}, {S::kRunning, 0, 0}};
  ManualClock clock;
  EXPECT_TRUE(EnsureServiceRunning(service, clock));
  EXPECT_EQ(1, service.starts);
  EXPECT_EQ(1, service.automatic_sets) << "a service that was not automatic is made so";
  EXPECT_EQ(3u * 2000u, clock.TickMs());
}

TEST(EnsureServiceRunning, GivesUpWhenTheCheckPointStandsLongerThanTheWaitHint) {
  ScriptedService service;
  // Wait hint 3 s: polls every 0.5 s (the minimum); no progress after the first look.
  service.script = {{S::kStopped, 0, 0, true}, {S::kStartPending, 4, 3000}};
  ManualClock clock;
  EXPECT_FALSE(EnsureServiceRunning(service, clock));
  EXPECT_EQ(0, service.automatic_sets) << "an automatic service keeps its configuration";
  EXPECT_EQ(3500u, clock.TickMs()) << "gives up at the first look past the hint";
}

TEST(EnsureServiceRunning, LongWaitHintsPollAtMostEveryFiveSeconds) {
  ScriptedService service;
  service.script = {{S::kStartPending, 1, 600000}, {S::kRunning, 0, 0}};
  ManualClock clock;
  EXPECT_TRUE(EnsureServiceRunning(service, clock));
  EXPECT_EQ(0, service.starts) << "a starting service is only waited for";
  EXPECT_EQ(5000u, clock.TickMs());
}

TEST(EnsureServiceRunning, PausedServiceIsContinuedAndAFailedStartFails) {
  ScriptedService paused;
  paused.script = {{S::kPaused, 0, 0, true}};
  ManualClock clock;
  EXPECT_TRUE(EnsureServiceRunning(paused, clock));
  EXPECT_EQ(1, paused.continues);
  EXPECT_EQ(500u, clock.TickMs());

  ScriptedService refused;
  refused.script = {{S::kStopped, 0, 0, false}};
  refused.start_result = err::kAccessDenied;
  EXPECT_FALSE(EnsureServiceRunning(refused, clock));
  EXPECT_EQ(0, refused.automatic_sets);
}

}  // namespace
}  // namespace hs
