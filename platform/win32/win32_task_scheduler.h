// TaskScheduler over the system's scheduler: work items through the classic
// work-item interface (ITaskScheduler, ITask, ITaskTrigger), the logon task
// through the task service (ITaskService, root folder "\"), the "Schedule"
// service through the service manager (its start type read from the
// registry). Each call initialises COM on its thread for its own span.
#pragma once

#include "platform/task_scheduler.h"

namespace hs {

// The current user as DOMAIN\user (the domain from USERDOMAIN, else the
// computer's name); empty when the user name is unknown.
Text CurrentUserAccount();

class Win32TaskScheduler final : public TaskScheduler {
 public:
  WinError CreateWorkItem(const WorkItem& item) override;
  WinError DeleteWorkItem(TextView name) override;
  WinError ReadWorkItem(TextView name, WorkItem* out) override;
  WinError ListWorkItems(std::vector<Text>* names) override;
  WinError RegisterLogonTask(const LogonTaskDefinition& task) override;
  WinError DeleteLogonTask(TextView name) override;
  WinError ReadLogonTask(TextView name, LogonTaskDefinition* out) override;
  WinError QueryService(ServiceStatus* out) override;
  WinError RunService() override;
  WinError SetServiceAutomatic() override;
  WinError ContinueService() override;
};

}  // namespace hs
