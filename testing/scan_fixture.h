// A scan manager over the build's contract registry (the store natively, the
// real registry under Wine) with configured system facts, a recording log and
// a notifier that records every message.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "engine/scan_manager.h"
#include "platform/callback_notifier.h"
#include "platform/portable_key_protection.h"
#include "platform/portable_system_info.h"
#include "testing/memory_log.h"
#include "testing/test_env.h"

namespace hs::testing {

// An area that scans nothing; tests fill its list by hand.
class PlainArea final : public CCategory {
 public:
  PlainArea(std::uint32_t bit, ScanManager& m) : CCategory(bit, m) {}
  bool PrepareScan() override { return true; }
  int Scan() override { return 0; }
};

inline std::unique_ptr<CCategory> MakePlain(std::uint32_t bit, ScanManager& m) {
  return std::make_unique<PlainArea>(bit, m);
}

class ScanFixture {
 public:
  static constexpr WindowTarget kNotifyWindow = 0x11;
  static constexpr WindowTarget kMainWindow = 0x22;

  explicit ScanFixture(MachineFacts facts = {}, ScanManager::AreaFactory factory = nullptr)
      : registry(MakeContractRegistry()),
        wow64(MakeContractWow64()),
        system(std::move(facts)),
        notifier([this](const CallbackNotifier::Message& m) {
          std::lock_guard<std::mutex> lock(mu);
          messages.push_back(m);
          if (m.message == kMsgProgressItem) progress.push_back(manager->ProgressText());
        }),
        context{*registry, *wow64, system, protection, notifier, log} {
    context.strings = [](TextView key) { return Text(key); };
    notifier.Open(kNotifyWindow);
    notifier.Open(kMainWindow);
    manager = std::make_unique<ScanManager>(context, factory ? factory : [](std::uint32_t, ScanManager&) {
      return std::unique_ptr<CCategory>();
    });
    manager->set_notify_window(kNotifyWindow);
    manager->set_main_window(kMainWindow);
  }
  ~ScanFixture() { manager.reset(); }

  std::vector<CallbackNotifier::Message> Messages() {
    std::lock_guard<std::mutex> lock(mu);
    return messages;
  }

  std::unique_ptr<Registry> registry;
  std::unique_ptr<Wow64> wow64;
  PortableSystemInfo system;
  PortableKeyProtection protection;
  MemoryLog log;
  std::mutex mu;
  std::vector<CallbackNotifier::Message> messages;
  std::vector<Text> progress;
  CallbackNotifier notifier;
  ScanContext context;
  std::unique_ptr<ScanManager> manager;
};

}  // namespace hs::testing
