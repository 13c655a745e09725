#include "app/web/machine_results.h"

#include "app/data_folder.h"
#include "areas/areas.h"

namespace hs {

MachineResults::MachineResults(ScanPorts& ports)
    : ports_(ports),
      log_(ports.fs, ports.clock, ports.folders),
      strings_(ports.program_ini, ports.program_fs, log_, ports.program_folder, Text(), ports.language, [](TextView) {}),
      lookup_([this](TextView key) { return strings_.LookupString(key); }),
      notifier_([](const CallbackNotifier::Message&) {}),
      context_{ports.registry, ports.wow64, ports.system, ports.protection, notifier_, log_} {
  context_.exclusions = &exclusions_;
  context_.temp_ignore = &temp_ignore_;
  context_.strings = lookup_;
  manager_ = std::make_unique<ScanManager>(context_, CreateArea);
}

bool MachineResults::Load() {
  if (EnsureDataFolder(ports_.folders, ports_.fs, &data_folder_) != err::kSuccess) return false;
  (void)exclusions_.Load(ports_.fs, data_folder_, log_);
  (void)temp_ignore_.Load(ports_.fs, data_folder_, log_);
  return LoadProblemsFromDisk(*manager_, ports_.fs, data_folder_, log_).status == ResultsLoad::kLoaded;
}

bool MachineResults::Save() {
  const bool results = SaveProblemsToDisk(*manager_, ports_.fs, data_folder_, log_) == err::kSuccess;
  const bool list = exclusions_.Save(ports_.fs, data_folder_, log_) == err::kSuccess;
  return results && list;
}

}  // namespace hs
