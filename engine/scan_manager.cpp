#include "engine/scan_manager.h"

#include "engine/file_reference.h"

namespace hs {

namespace {

Text ClassKeyForCompare(TextView key) {
  Text k = Lowercase(key);
  static constexpr TextView kClassesRoot = u"hkey_classes_root";
  if (k.compare(0, kClassesRoot.size(), kClassesRoot) == 0)
    k = u"hkey_local_machine\\software\\classes" + k.substr(kClassesRoot.size());
  return k;
}

}  // namespace

ScanManager::ScanManager(ScanContext& context, AreaFactory factory)
    : context_(context),
      factory_(std::move(factory)),
      reg_{context.registry, context.wow64.IsWow64Process()},
      is_admin_(context.system.IsAdministrator()),
      major_version_(context.system.MajorVersion()),
      own_owner_(context.owner ? nullptr : std::make_unique<OperationOwner>(context.log, &context.notifier)),
      owner_(context.owner ? context.owner : own_owner_.get()) {
  system_folder_ = context.system.SystemDirectory();
  if (!system_folder_.empty() && system_folder_.back() != u'\\') system_folder_ += u'\\';
  if (reg_.windows64) system_folder32_ = context.system.SystemWow64Directory();
}

ScanManager::~ScanManager() {
  Cancel();
  JoinWorker();
}

void ScanManager::CreateAreas(std::uint32_t mask, int count) {
  DestroyAreas();
  InvalidateDuplicateIndex();
  cancelled_.store(false);
  for (int i = 0; i < kAreaCount; ++i)
    if (mask & kAreas[i].bit) areas_[i] = factory_(kAreas[i].bit, *this);
  area_mask_ = mask & kAllAreasMask;
  area_count_ = count;
}

void ScanManager::DestroyAreas() {
  for (auto& a : areas_) a.reset();
  InvalidateDuplicateIndex();
}

CCategory* ScanManager::AreaByBit(std::uint32_t bit) const {
  int i = AreaIndex(bit);
  return i < 0 ? nullptr : areas_[i].get();
}

ProblemList* ScanManager::ProblemsOf(std::uint32_t bit) const {
  CCategory* a = AreaByBit(bit);
  return a ? &a->problems() : nullptr;
}

std::size_t ScanManager::TotalProblems() const {
  std::size_t n = 0;
  for (const auto& a : areas_)
    if (a) n += a->Count();
  return n;
}

std::size_t ScanManager::SelectedProblems() const {
  std::size_t n = 0;
  for (const auto& a : areas_)
    if (a) n += a->SelectedCount();
  return n;
}

void ScanManager::CollectAreas() {
  area_mask_ = 0;
  area_count_ = 0;
  for (const auto& a : areas_) {
    if (!a) continue;
    area_mask_ |= a->bit();
    ++area_count_;
  }
}

void ScanManager::ReportProgressItem(TextView text, bool keep_case) {
  {
    std::lock_guard<std::mutex> lock(progress_mu_);
    if (++progress_calls_ % kProgressEvery != 0) return;
    progress_text_ = keep_case ? Text(text) : Upcase(text);
  }
  // Outside the lock: the window reads the text while handling the message.
  context_.notifier.Post(main_window_, kMsgProgressItem, 0, 0);
}

Text ScanManager::ProgressText() const {
  std::lock_guard<std::mutex> lock(progress_mu_);
  return progress_text_;
}

int ScanManager::RunArea(bool scanning, CCategory* area, std::uint32_t bit) {
  if (!area) return 0;
  if (IsCancelled()) return 2;
  int result = 0;
  if (scanning) {
    SendUnlessCancelled(kMsgBeforeAreaStart, 0, 0);
    SendUnlessCancelled(kMsgAreaStart, bit, 1);
    result = area->Scan();
    if (result != 2) SendUnlessCancelled(kMsgAreaEnd, bit, 1);
  } else {
    SendUnlessCancelled(kMsgAreaStart, bit, 0);
    result = repair_area ? repair_area(*area) : 0;
  }
  return result;
}

void ScanManager::SendUnlessCancelled(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
  // A window that cancels may go on to wait for the worker: nothing more is
  // sent to it (the wait also serves sent messages, for a cancel that comes
  // while a send is under way).
  if (!IsCancelled()) context_.notifier.Send(notify_window_, message, wparam, lparam);
}

namespace {

// Two problems are equal when their 32-bit flags are equal and key (as a
// class key), value name, value data and alternate key are equal without
// regard to case.
Text DuplicateSignature(const CProblem& p) {
  Text s = ClassKeyForCompare(p.key);
  for (const Text* t : {&p.value_name, &p.value_data, &p.alternate_key}) {
    s.push_back(u'\0');
    s += Upcase(*t);
  }
  s.push_back(u'\0');
  s.push_back(p.entry32 ? u'1' : u'0');
  return s;
}

}  // namespace

bool ScanManager::IsDuplicateProblem(const CProblem& p) const {
  if (p.key.empty()) return false;
  if (dup_indexed_ != TotalProblems()) {
    dup_index_.clear();
    for (const auto& a : areas_) {
      if (!a) continue;
      for (const auto& q : a->problems())
        if (!q->key.empty()) dup_index_.insert(DuplicateSignature(*q));
    }
    dup_indexed_ = TotalProblems();
  }
  return dup_index_.count(DuplicateSignature(p)) != 0;
}

void ScanManager::NoteProblemAdded(const CProblem& p) {
  if (dup_indexed_ == kNoIndex) return;
  if (!p.key.empty()) dup_index_.insert(DuplicateSignature(p));
  ++dup_indexed_;
}

bool ScanManager::StartScan() {
  return owner_->Start(
      Operation::kScanning, [this] { return ScanWorker(); }, [this](bool ok) { EndScan(ok); },
      [this] {
        results_unreadable_.store(0);
        scan_result_.store(0);
        scanning_.store(true);
      });
}

void ScanManager::JoinWorker() { owner_->Join(); }

bool ScanManager::ScanWorker() {
  if (context_.file_refs) context_.file_refs->BeginScan();
  // The scan's file answers go when the scan ends, however it ends.
  struct EndFileScan {
    FileReferences* refs;
    ~EndFileScan() {
      if (refs) refs->EndScan();
    }
  } end_file_scan{context_.file_refs};
  // Redirection stays off for the rest of this thread, so that paths in the
  // system folder reach the 64-bit files.
  FsRedirectionOff redirection(context_.wow64, reg_.windows64);
  redirection.Keep();
  scanning_.store(true);
  const std::uint32_t ticked = context_.selected_categories;
  int result = 0;
  for (std::uint32_t bit : RunOrder()) {
    current_group_.store(FindArea(bit)->group);
    CCategory* area = AreaByBit(bit);
    if (result != 2 && area && (ticked & bit)) {
      result = RunArea(true, area, bit);
      {
        std::lock_guard<std::mutex> lock(progress_mu_);
        progress_text_.clear();
      }
      context_.notifier.Post(main_window_, kMsgProgressItem, 0, 0);
    }
    if (result == 2) break;
  }
  scan_result_.store(result);
  return true;
}

void ScanManager::EndScan(bool ok) {
  // A failed run (the worker threw) ends as a cancelled one.
  if (!ok) context_.log.LogLine(u"The scan failed; it ends as cancelled");
  scanning_.store(false);
  const bool cancelled = !ok || scan_result_.load() == 2;
  if (context_.notifier.WindowExists(notify_window_))
    context_.notifier.Post(notify_window_, cancelled ? kMsgScanCancelled : kMsgScanFinished, 1, 0);
}

}  // namespace hs
