#include "platform/win32/win32_task_scheduler.h"

#include <windows.h>
// after <windows.h>
#include <initguid.h>
#include <mstask.h>
#include <objbase.h>
#include <oleauto.h>
#include <taskschd.h>

#include <string>

namespace hs {

namespace {

// taskschd.h lacks the logon trigger's interface.
DEFINE_GUID(IID_ILogonTriggerHs, 0x72DADE38, 0xFAE4, 0x4B3E, 0xBA, 0xF4, 0x5D, 0x00, 0x9A, 0xF0, 0x2B, 0x1C);
struct ILogonTriggerHs : public ITrigger {
  virtual HRESULT WINAPI get_Delay(BSTR* delay) = 0;
  virtual HRESULT WINAPI put_Delay(BSTR delay) = 0;
  virtual HRESULT WINAPI get_UserId(BSTR* user) = 0;
  virtual HRESULT WINAPI put_UserId(BSTR user) = 0;
};

constexpr wchar_t kServiceName[] = L"Schedule";
constexpr wchar_t kServiceKey[] = L"SYSTEM\\CurrentControlSet\\Services\\Schedule";

std::wstring Wide(TextView text) { return std::wstring(text.begin(), text.end()); }
Text FromWide(const wchar_t* s) { return s ? Text(s, s + wcslen(s)) : Text(); }

WinError FromHresult(HRESULT hr) {
  if (SUCCEEDED(hr)) return err::kSuccess;
  if (HRESULT_FACILITY(hr) == FACILITY_WIN32) return static_cast<WinError>(HRESULT_CODE(hr));
  if (hr == E_NOTIMPL) return err::kCallNotImplemented;
  if (hr == E_OUTOFMEMORY) return err::kNotEnoughMemory;
  return static_cast<WinError>(hr);
}

template <class T>
struct ComPtr {
  T* p = nullptr;
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() {
    if (p) p->Release();
  }
  T* operator->() const { return p; }
  void** out() { return reinterpret_cast<void**>(&p); }
};

struct Bstr {
  BSTR b = nullptr;
  Bstr() = default;
  explicit Bstr(TextView t)
      : b(::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(t.data()), static_cast<UINT>(t.size()))) {}
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { ::SysFreeString(b); }
  Text text() const { return b ? Text(b, b + ::SysStringLen(b)) : Text(); }
};

// A task-memory string handed out by the work-item interface.
struct TaskString {
  LPWSTR s = nullptr;
  ~TaskString() { ::CoTaskMemFree(s); }
};

class ComScope {
 public:
  ComScope() : owns_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~ComScope() {
    if (owns_) ::CoUninitialize();
  }

 private:
  bool owns_;
};

bool Usable(TextView t) { return t.find(u'\0') == TextView::npos && t.size() < 32767; }

HRESULT OpenScheduler(ComPtr<ITaskScheduler>* ts) {
  return ::CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler, ts->out());
}

TASK_TRIGGER ToTrigger(const TaskTrigger& t) {
  TASK_TRIGGER tt{};
  tt.cbTriggerSize = sizeof tt;
  tt.wBeginYear = static_cast<WORD>(t.year);
  tt.wBeginMonth = static_cast<WORD>(t.month);
  tt.wBeginDay = static_cast<WORD>(t.day);
  tt.wStartHour = static_cast<WORD>(t.hour);
  tt.wStartMinute = static_cast<WORD>(t.minute);
  switch (t.kind) {
    case TriggerKind::kOnce: tt.TriggerType = TASK_TIME_TRIGGER_ONCE; break;
    case TriggerKind::kDaily:
      tt.TriggerType = TASK_TIME_TRIGGER_DAILY;
      tt.Type.Daily.DaysInterval = t.interval;
      break;
    case TriggerKind::kWeekly:
      tt.TriggerType = TASK_TIME_TRIGGER_WEEKLY;
      tt.Type.Weekly.WeeksInterval = t.interval;
      tt.Type.Weekly.rgfDaysOfTheWeek = t.weekdays;
      break;
    case TriggerKind::kMonthlyDate:
      tt.TriggerType = TASK_TIME_TRIGGER_MONTHLYDATE;
      tt.Type.MonthlyDate.rgfDays = t.month_days;
      tt.Type.MonthlyDate.rgfMonths = t.months;
      break;
  }
  return tt;
}

bool FromTrigger(const TASK_TRIGGER& tt, TaskTrigger* t) {
  *t = TaskTrigger{};
  t->year = tt.wBeginYear;
  t->month = tt.wBeginMonth;
  t->day = tt.wBeginDay;
  t->hour = tt.wStartHour;
  t->minute = tt.wStartMinute;
  switch (tt.TriggerType) {
    case TASK_TIME_TRIGGER_ONCE: t->kind = TriggerKind::kOnce; return true;
    case TASK_TIME_TRIGGER_DAILY:
      t->kind = TriggerKind::kDaily;
      t->interval = tt.Type.Daily.DaysInterval;
      return true;
    case TASK_TIME_TRIGGER_WEEKLY:
      t->kind = TriggerKind::kWeekly;
      t->interval = tt.Type.Weekly.WeeksInterval;
      t->weekdays = tt.Type.Weekly.rgfDaysOfTheWeek;
      return true;
    case TASK_TIME_TRIGGER_MONTHLYDATE:
      t->kind = TriggerKind::kMonthlyDate;
      t->month_days = tt.Type.MonthlyDate.rgfDays;
      t->months = tt.Type.MonthlyDate.rgfMonths;
      return true;
    default: return false;
  }
}

HRESULT WriteItem(ITask* task, const WorkItem& item) {
  HRESULT hr = task->SetApplicationName(Wide(item.program).c_str());
  if (SUCCEEDED(hr) && !item.parameters.empty()) hr = task->SetParameters(Wide(item.parameters).c_str());
  if (SUCCEEDED(hr) && !item.working_directory.empty())
    hr = task->SetWorkingDirectory(Wide(item.working_directory).c_str());
  if (SUCCEEDED(hr) && !item.account.empty()) hr = task->SetAccountInformation(Wide(item.account).c_str(), nullptr);
  if (SUCCEEDED(hr)) hr = task->SetFlags(item.flags);
  for (const TaskTrigger& t : item.triggers) {
    if (FAILED(hr)) break;
    WORD index = 0;
    ComPtr<ITaskTrigger> trigger;
    hr = task->CreateTrigger(&index, &trigger.p);
    TASK_TRIGGER tt = ToTrigger(t);
    if (SUCCEEDED(hr)) hr = trigger->SetTrigger(&tt);
  }
  if (FAILED(hr)) return hr;
  ComPtr<IPersistFile> file;
  hr = task->QueryInterface(IID_IPersistFile, file.out());
  if (SUCCEEDED(hr)) hr = file->Save(nullptr, TRUE);
  return hr;
}

// The task service connected, with its root folder.
struct TaskService {
  ComPtr<ITaskService> service;
  ComPtr<ITaskFolder> root;
  HRESULT Open() {
    HRESULT hr = ::CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService, service.out());
    VARIANT empty;
    ::VariantInit(&empty);
    if (SUCCEEDED(hr)) hr = service->Connect(empty, empty, empty, empty);
    Bstr path(u"\\");
    if (SUCCEEDED(hr)) hr = service->GetFolder(path.b, &root.p);
    return hr;
  }
};

HRESULT BuildDefinition(ITaskService* service, const LogonTaskDefinition& task, ITaskDefinition** out) {
  HRESULT hr = service->NewTask(0, out);
  if (FAILED(hr)) return hr;
  ITaskDefinition* def = *out;
  {
    ComPtr<IPrincipal> principal;
    hr = def->get_Principal(&principal.p);
    if (SUCCEEDED(hr)) hr = principal->put_RunLevel(task.highest_run_level ? TASK_RUNLEVEL_HIGHEST : TASK_RUNLEVEL_LUA);
  }
  if (SUCCEEDED(hr)) {
    ComPtr<IRegistrationInfo> info;
    Bstr author(task.author);
    hr = def->get_RegistrationInfo(&info.p);
    if (SUCCEEDED(hr)) hr = info->put_Author(author.b);
  }
  if (SUCCEEDED(hr)) {
    ComPtr<ITaskSettings> settings;
    Bstr no_limit(u"PT0S");
    hr = def->get_Settings(&settings.p);
    if (SUCCEEDED(hr)) hr = settings->put_ExecutionTimeLimit(no_limit.b);
    if (SUCCEEDED(hr)) hr = settings->put_AllowDemandStart(VARIANT_TRUE);
    if (SUCCEEDED(hr)) hr = settings->put_AllowHardTerminate(VARIANT_TRUE);
    if (SUCCEEDED(hr)) hr = settings->put_StartWhenAvailable(VARIANT_TRUE);
  }
  if (SUCCEEDED(hr)) {
    ComPtr<ITriggerCollection> triggers;
    ComPtr<ITrigger> trigger;
    ComPtr<ILogonTriggerHs> logon;
    Bstr delay(task.delay);
    hr = def->get_Triggers(&triggers.p);
    if (SUCCEEDED(hr)) hr = triggers->Create(TASK_TRIGGER_LOGON, &trigger.p);
    if (SUCCEEDED(hr)) hr = trigger->QueryInterface(IID_ILogonTriggerHs, logon.out());
    if (SUCCEEDED(hr)) hr = logon->put_Delay(delay.b);
  }
  if (SUCCEEDED(hr)) {
    ComPtr<IActionCollection> actions;
    ComPtr<IAction> action;
    ComPtr<IExecAction> exec;
    Bstr path(task.program), args(task.arguments);
    hr = def->get_Actions(&actions.p);
    if (SUCCEEDED(hr)) hr = actions->Create(TASK_ACTION_EXEC, &action.p);
    if (SUCCEEDED(hr)) hr = action->QueryInterface(IID_IExecAction, exec.out());
    if (SUCCEEDED(hr)) hr = exec->put_Path(path.b);
    if (SUCCEEDED(hr) && !task.arguments.empty()) hr = exec->put_Arguments(args.b);
  }
  return hr;
}

// The service manager's handles, closed on destruction.
struct Service {
  SC_HANDLE manager = nullptr;
  SC_HANDLE service = nullptr;
  ~Service() {
    if (service) ::CloseServiceHandle(service);
    if (manager) ::CloseServiceHandle(manager);
  }
  WinError Open(DWORD rights) {
    manager = ::OpenSCManagerW(nullptr, L"ServicesActive", SC_MANAGER_CONNECT);
    if (!manager) return static_cast<WinError>(::GetLastError());
    service = ::OpenServiceW(manager, kServiceName, rights);
    return service ? err::kSuccess : static_cast<WinError>(::GetLastError());
  }
};

bool StartTypeAutomatic() {
  DWORD value = 0, size = sizeof value;
  return ::RegGetValueW(HKEY_LOCAL_MACHINE, kServiceKey, L"Start", RRF_RT_REG_DWORD, nullptr, &value, &size) ==
             ERROR_SUCCESS &&
         value == SERVICE_AUTO_START;
}

}  // namespace

Text CurrentUserAccount() {
  wchar_t user[257];
  DWORD n = 257;
  if (!::GetUserNameW(user, &n) || n <= 1) return Text();
  wchar_t domain[256] = {};
  DWORD d = ::GetEnvironmentVariableW(L"USERDOMAIN", domain, 256);
  if (d == 0 || d >= 256) {
    d = 256;
    if (!::GetComputerNameW(domain, &d)) d = 0;
  }
  if (d == 0) return FromWide(user);
  return Text(domain, domain + d) + u"\\" + FromWide(user);
}

WinError Win32TaskScheduler::CreateWorkItem(const WorkItem& item) {
  if (item.name.empty() || !Usable(item.name) || !Usable(item.program) || !Usable(item.parameters) ||
      !Usable(item.working_directory) || !Usable(item.account))
    return err::kInvalidParameter;
  ComScope com;
  ComPtr<ITaskScheduler> ts;
  HRESULT hr = OpenScheduler(&ts);
  if (SUCCEEDED(hr)) {
    // Windows refuses a taken name with 80; Wine's scheduler would replace
    // the item on save, so the name is looked up first.
    ComPtr<ITask> existing;
    if (SUCCEEDED(ts->Activate(Wide(item.name).c_str(), IID_ITask, reinterpret_cast<IUnknown**>(&existing.p))))
      return err::kFileExists;
  }
  ComPtr<ITask> task;
  if (SUCCEEDED(hr))
    hr = ts->NewWorkItem(Wide(item.name).c_str(), CLSID_CTask, IID_ITask, reinterpret_cast<IUnknown**>(&task.p));
  if (SUCCEEDED(hr)) {
    hr = WriteItem(task.p, item);
    // A half-written item is not left behind.
    if (FAILED(hr)) (void)ts->Delete(Wide(item.name).c_str());
  }
  return FromHresult(hr);
}

WinError Win32TaskScheduler::DeleteWorkItem(TextView name) {
  if (name.empty() || !Usable(name)) return err::kInvalidParameter;
  ComScope com;
  ComPtr<ITaskScheduler> ts;
  HRESULT hr = OpenScheduler(&ts);
  if (SUCCEEDED(hr)) hr = ts->Delete(Wide(name).c_str());
  return FromHresult(hr);
}

WinError Win32TaskScheduler::ReadWorkItem(TextView name, WorkItem* out) {
  if (name.empty() || !Usable(name)) return err::kInvalidParameter;
  ComScope com;
  ComPtr<ITaskScheduler> ts;
  HRESULT hr = OpenScheduler(&ts);
  ComPtr<ITask> task;
  if (SUCCEEDED(hr)) hr = ts->Activate(Wide(name).c_str(), IID_ITask, reinterpret_cast<IUnknown**>(&task.p));
  if (FAILED(hr)) return FromHresult(hr);
  WorkItem item;
  item.name = Text(name);
  {
    TaskString program, parameters, directory;
    hr = task->GetApplicationName(&program.s);
    if (SUCCEEDED(hr)) hr = task->GetParameters(&parameters.s);
    if (SUCCEEDED(hr)) hr = task->GetWorkingDirectory(&directory.s);
    item.program = FromWide(program.s);
    item.parameters = FromWide(parameters.s);
    item.working_directory = FromWide(directory.s);
  }
  DWORD flags = 0;
  if (SUCCEEDED(hr)) hr = task->GetFlags(&flags);
  item.flags = flags;
  {
    TaskString account;
    // Not every scheduler tells the account.
    if (SUCCEEDED(task->GetAccountInformation(&account.s))) item.account = FromWide(account.s);
  }
  WORD count = 0;
  if (SUCCEEDED(hr)) hr = task->GetTriggerCount(&count);
  for (WORD i = 0; SUCCEEDED(hr) && i < count; ++i) {
    ComPtr<ITaskTrigger> trigger;
    TASK_TRIGGER tt{};
    tt.cbTriggerSize = sizeof tt;
    hr = task->GetTrigger(i, &trigger.p);
    if (SUCCEEDED(hr)) hr = trigger->GetTrigger(&tt);
    TaskTrigger t;
    if (SUCCEEDED(hr) && FromTrigger(tt, &t)) item.triggers.push_back(t);
  }
  if (FAILED(hr)) return FromHresult(hr);
  *out = std::move(item);
  return err::kSuccess;
}

WinError Win32TaskScheduler::ListWorkItems(std::vector<Text>* names) {
  names->clear();
  ComScope com;
  ComPtr<ITaskScheduler> ts;
  HRESULT hr = OpenScheduler(&ts);
  ComPtr<IEnumWorkItems> items;
  if (SUCCEEDED(hr)) hr = ts->Enum(&items.p);
  while (SUCCEEDED(hr)) {
    LPWSTR* batch = nullptr;
    DWORD fetched = 0;
    hr = items->Next(16, &batch, &fetched);
    for (DWORD i = 0; i < fetched; ++i) {
      Text n = FromWide(batch[i]);
      ::CoTaskMemFree(batch[i]);
      // The work items' file names end in ".job".
      if (n.size() > 4 && EqualsNoCase(TextView(n).substr(n.size() - 4), u".job")) n.resize(n.size() - 4);
      names->push_back(std::move(n));
    }
    ::CoTaskMemFree(batch);
    if (hr == S_FALSE || fetched == 0) return err::kSuccess;
  }
  return FromHresult(hr);
}

WinError Win32TaskScheduler::RegisterLogonTask(const LogonTaskDefinition& task) {
  if (task.name.empty() || !Usable(task.name) || !Usable(task.program) || !Usable(task.arguments))
    return err::kInvalidParameter;
  ComScope com;
  TaskService ts;
  HRESULT hr = ts.Open();
  ComPtr<ITaskDefinition> def;
  if (SUCCEEDED(hr)) hr = BuildDefinition(ts.service.p, task, &def.p);
  if (SUCCEEDED(hr)) {
    Bstr name(task.name), group(task.group), empty(u"");
    VARIANT user, password, sddl;
    ::VariantInit(&user);
    ::VariantInit(&password);
    ::VariantInit(&sddl);
    user.vt = VT_BSTR;
    user.bstrVal = group.b;
    sddl.vt = VT_BSTR;
    sddl.bstrVal = empty.b;
    ComPtr<IRegisteredTask> registered;
    hr = ts.root->RegisterTaskDefinition(name.b, def.p, TASK_CREATE_OR_UPDATE, user, password, TASK_LOGON_GROUP, sddl,
                                         &registered.p);
  }
  return FromHresult(hr);
}

WinError Win32TaskScheduler::DeleteLogonTask(TextView name) {
  if (name.empty() || !Usable(name)) return err::kInvalidParameter;
  ComScope com;
  TaskService ts;
  HRESULT hr = ts.Open();
  Bstr n(name);
  if (SUCCEEDED(hr)) hr = ts.root->DeleteTask(n.b, 0);
  return FromHresult(hr);
}

WinError Win32TaskScheduler::ReadLogonTask(TextView name, LogonTaskDefinition* out) {
  if (name.empty() || !Usable(name)) return err::kInvalidParameter;
  ComScope com;
  TaskService ts;
  HRESULT hr = ts.Open();
  Bstr n(name);
  ComPtr<IRegisteredTask> registered;
  ComPtr<ITaskDefinition> def;
  if (SUCCEEDED(hr)) hr = ts.root->GetTask(n.b, &registered.p);
  if (SUCCEEDED(hr)) hr = registered->get_Definition(&def.p);
  if (FAILED(hr)) return FromHresult(hr);
  LogonTaskDefinition d;
  d.name = Text(name);
  {
    ComPtr<IRegistrationInfo> info;
    Bstr author;
    if (SUCCEEDED(hr)) hr = def->get_RegistrationInfo(&info.p);
    if (SUCCEEDED(hr)) hr = info->get_Author(&author.b);
    d.author = author.text();
  }
  {
    ComPtr<IPrincipal> principal;
    TASK_RUNLEVEL_TYPE level = TASK_RUNLEVEL_LUA;
    Bstr group;
    if (SUCCEEDED(hr)) hr = def->get_Principal(&principal.p);
    if (SUCCEEDED(hr)) hr = principal->get_RunLevel(&level);
    if (SUCCEEDED(hr)) hr = principal->get_GroupId(&group.b);
    d.highest_run_level = level == TASK_RUNLEVEL_HIGHEST;
    d.group = group.text();
  }
  {
    ComPtr<ITriggerCollection> triggers;
    ComPtr<ITrigger> trigger;
    ComPtr<ILogonTriggerHs> logon;
    Bstr delay;
    if (SUCCEEDED(hr)) hr = def->get_Triggers(&triggers.p);
    if (SUCCEEDED(hr)) hr = triggers->get_Item(1, &trigger.p);
    if (SUCCEEDED(hr)) hr = trigger->QueryInterface(IID_ILogonTriggerHs, logon.out());
    if (SUCCEEDED(hr)) hr = logon->get_Delay(&delay.b);
    d.delay = delay.text();
  }
  {
    ComPtr<IActionCollection> actions;
    ComPtr<IAction> action;
    ComPtr<IExecAction> exec;
    Bstr path, args;
    if (SUCCEEDED(hr)) hr = def->get_Actions(&actions.p);
    if (SUCCEEDED(hr)) hr = actions->get_Item(1, &action.p);
    if (SUCCEEDED(hr)) hr = action->QueryInterface(IID_IExecAction, exec.out());
    if (SUCCEEDED(hr)) hr = exec->get_Path(&path.b);
    if (SUCCEEDED(hr)) hr = exec->get_Arguments(&args.b);
    d.program = path.text();
    d.arguments = args.text();
  }
  if (FAILED(hr)) return FromHresult(hr);
  *out = std::move(d);
  return err::kSuccess;
}

WinError Win32TaskScheduler::QueryService(ServiceStatus* out) {
  Service s;
  if (const WinError e = s.Open(SERVICE_QUERY_STATUS)) return e;
  SERVICE_STATUS st{};
  if (!::QueryServiceStatus(s.service, &st)) return static_cast<WinError>(::GetLastError());
  switch (st.dwCurrentState) {
    case SERVICE_START_PENDING: out->state = ServiceState::kStartPending; break;
    case SERVICE_STOP_PENDING: out->state = ServiceState::kStopPending; break;
    case SERVICE_RUNNING: out->state = ServiceState::kRunning; break;
    case SERVICE_CONTINUE_PENDING: out->state = ServiceState::kContinuePending; break;
    case SERVICE_PAUSE_PENDING: out->state = ServiceState::kPausePending; break;
    case SERVICE_PAUSED: out->state = ServiceState::kPaused; break;
    default: out->state = ServiceState::kStopped; break;
  }
  out->check_point = st.dwCheckPoint;
  out->wait_hint_ms = st.dwWaitHint;
  out->automatic = StartTypeAutomatic();
  return err::kSuccess;
}

WinError Win32TaskScheduler::RunService() {
  Service s;
  if (const WinError e = s.Open(SERVICE_START)) return e;
  if (::StartServiceW(s.service, 0, nullptr)) return err::kSuccess;
  const DWORD e = ::GetLastError();
  return e == ERROR_SERVICE_ALREADY_RUNNING ? err::kSuccess : static_cast<WinError>(e);
}

WinError Win32TaskScheduler::SetServiceAutomatic() {
  Service s;
  if (const WinError e = s.Open(SERVICE_CHANGE_CONFIG)) return e;
  if (!::ChangeServiceConfigW(s.service, SERVICE_NO_CHANGE, SERVICE_AUTO_START, SERVICE_NO_CHANGE, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr, nullptr))
    return static_cast<WinError>(::GetLastError());
  return err::kSuccess;
}

WinError Win32TaskScheduler::ContinueService() {
  Service s;
  if (const WinError e = s.Open(SERVICE_PAUSE_CONTINUE)) return e;
  SERVICE_STATUS st{};
  if (!::ControlService(s.service, SERVICE_CONTROL_CONTINUE, &st)) return static_cast<WinError>(::GetLastError());
  return err::kSuccess;
}

}  // namespace hs
