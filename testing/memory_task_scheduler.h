// A TaskScheduler in memory, for tests: work items by name (ignoring case),
// logon tasks, a service whose state the test sets, and a failure to answer
// for the next creations.
#pragma once

#include <algorithm>
#include <vector>

#include "platform/task_scheduler.h"

namespace hs::testing {

class MemoryTaskScheduler final : public TaskScheduler {
 public:
  WinError CreateWorkItem(const WorkItem& item) override {
    ++creates;
    if (create_error != err::kSuccess) return create_error;
    if (Find(item.name) != items.end()) return err::kFileExists;
    items.push_back(item);
    return err::kSuccess;
  }
  WinError DeleteWorkItem(TextView name) override {
    deleted.emplace_back(name);
    const auto it = Find(name);
    if (it == items.end()) return err::kFileNotFound;
    items.erase(it);
    return err::kSuccess;
  }
  WinError ReadWorkItem(TextView name, WorkItem* out) override {
    const auto it = Find(name);
    if (it == items.end()) return err::kFileNotFound;
    *out = *it;
    return err::kSuccess;
  }
  WinError ListWorkItems(std::vector<Text>* names) override {
    names->clear();
    for (const WorkItem& w : items) names->push_back(w.name);
    return err::kSuccess;
  }
  WinError RegisterLogonTask(const LogonTaskDefinition& task) override {
    if (logon_error != err::kSuccess) return logon_error;
    const auto it = std::find_if(logon.begin(), logon.end(), [&](const auto& t) { return EqualsNoCase(t.name, task.name); });
    if (it != logon.end()) *it = task;
    else logon.push_back(task);
    return err::kSuccess;
  }
  WinError DeleteLogonTask(TextView name) override {
    const auto it = std::find_if(logon.begin(), logon.end(), [&](const auto& t) { return EqualsNoCase(t.name, name); });
    if (it == logon.end()) return err::kFileNotFound;
    logon.erase(it);
    return err::kSuccess;
  }
  WinError ReadLogonTask(TextView name, LogonTaskDefinition* out) override {
    const auto it = std::find_if(logon.begin(), logon.end(), [&](const auto& t) { return EqualsNoCase(t.name, name); });
    if (it == logon.end()) return err::kFileNotFound;
    *out = *it;
    return err::kSuccess;
  }
  WinError QueryService(ServiceStatus* out) override {
    *out = service;
    return err::kSuccess;
  }
  WinError RunService() override {
    if (!service_starts) return err::kAccessDenied;
    service.state = ServiceState::kRunning;
    return err::kSuccess;
  }
  WinError SetServiceAutomatic() override {
    service.automatic = true;
    return err::kSuccess;
  }
  WinError ContinueService() override {
    service.state = ServiceState::kRunning;
    return err::kSuccess;
  }

  const WorkItem* Item(TextView name) {
    const auto it = Find(name);
    return it == items.end() ? nullptr : &*it;
  }

  std::vector<WorkItem> items;
  std::vector<LogonTaskDefinition> logon;
  std::vector<Text> deleted;
  int creates = 0;
  WinError create_error = err::kSuccess;
  WinError logon_error = err::kSuccess;
  ServiceStatus service{ServiceState::kRunning, 0, 0, true};
  bool service_starts = true;

 private:
  std::vector<WorkItem>::iterator Find(TextView name) {
    return std::find_if(items.begin(), items.end(), [&](const WorkItem& w) { return EqualsNoCase(w.name, name); });
  }
};

}  // namespace hs::testing
