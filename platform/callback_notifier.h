// Notifier that delivers every message to a callback on the calling thread
// (posted and sent alike), for the front end and tests. Windows exist from
// Open until Close.
#pragma once

#include <functional>
#include <mutex>
#include <set>

#include "platform/notifier.h"

namespace hs {

class CallbackNotifier final : public Notifier {
 public:
  struct Message {
    WindowTarget window;
    std::uint32_t message;
    std::uintptr_t wparam;
    std::intptr_t lparam;
    bool sent;
  };
  using Callback = std::function<void(const Message&)>;
  explicit CallbackNotifier(Callback callback) : callback_(std::move(callback)) {}

  void Open(WindowTarget w) {
    std::lock_guard<std::mutex> lock(mu_);
    windows_.insert(w);
  }
  void Close(WindowTarget w) {
    std::lock_guard<std::mutex> lock(mu_);
    windows_.erase(w);
  }
  void Post(WindowTarget w, std::uint32_t m, std::uintptr_t wp, std::intptr_t lp) override { Deliver({w, m, wp, lp, false}); }
  void Send(WindowTarget w, std::uint32_t m, std::uintptr_t wp, std::intptr_t lp) override { Deliver({w, m, wp, lp, true}); }
  bool WindowExists(WindowTarget w) override {
    std::lock_guard<std::mutex> lock(mu_);
    return windows_.count(w) != 0;
  }

 private:
  void Deliver(const Message& m) {
    if (!WindowExists(m.window)) return;
    callback_(m);
  }
  Callback callback_;
  std::mutex mu_;
  std::set<WindowTarget> windows_;
};

}  // namespace hs
