#include "app/web/page_bridge.h"

#include <algorithm>
#include <cstdio>

namespace hs {

PageBridge::PageBridge(std::string first_page)
    : current_(std::move(first_page)), shown_at_(std::chrono::steady_clock::now()) {}

void PageBridge::Queue(const std::string& page, TextView function, const std::vector<Text>& args) {
  ScriptCall call{ToUtf8(function), {}};
  for (const Text& a : args) call.args.push_back(ToUtf8(a));
  std::lock_guard<std::mutex> lock(mu_);
  call.for_next = page != current_ && page != answering_;
  auto& queue = queues_[page];
  if (page == answering_) {
    // The loaded document's set-up comes before the calls that waited for it.
    auto first_waiting = std::find_if(queue.begin(), queue.end(), [](const ScriptCall& c) { return c.for_next; });
    queue.insert(first_waiting, std::move(call));
  } else {
    queue.push_back(std::move(call));
  }
  cv_.notify_all();
}

void PageBridge::SwitchLocked(const std::string& page) {
  return_to_.clear();
  if (page == current_) return;
  current_ = page;
  shown_at_ = std::chrono::steady_clock::now();
  cv_.notify_all();
}

void PageBridge::ShowPage(const std::string& page) {
  std::lock_guard<std::mutex> lock(mu_);
  SwitchLocked(page);
}

void PageBridge::ShowPageAfterMinimum(const std::string& page) {
  std::lock_guard<std::mutex> lock(mu_);
  return_to_ = page;
  cv_.notify_all();
}

void PageBridge::SetAnswering(const std::string& page) {
  std::lock_guard<std::mutex> lock(mu_);
  answering_ = page;
}

std::string PageBridge::CurrentPage() const {
  std::lock_guard<std::mutex> lock(mu_);
  return current_;
}

PageBridge::Poll PageBridge::Take(const std::string& page, std::chrono::milliseconds wait) {
  std::unique_lock<std::mutex> lock(mu_);
  const SteadyTime deadline = std::chrono::steady_clock::now() + wait;
  Poll out;
  for (;;) {
    if (closed_) {
      out.closed = true;
      return out;
    }
    auto& queue = queues_[page];
    if (page != current_) {
      while (!queue.empty() && !queue.front().for_next) {
        out.calls.push_back(std::move(queue.front()));
        queue.pop_front();
      }
      if (out.calls.empty()) out.navigate = current_;
      return out;
    }
    if (!queue.empty()) {
      out.calls.assign(queue.begin(), queue.end());
      queue.clear();
      return out;
    }
    SteadyTime until = deadline;
    if (!return_to_.empty()) {
      const SteadyTime due = shown_at_ + kMinLoadingShow;
      if (std::chrono::steady_clock::now() >= due) {
        SwitchLocked(std::string(return_to_));
        continue;
      }
      until = std::min(until, due);
    }
    if (std::chrono::steady_clock::now() >= deadline) return out;
    cv_.wait_until(lock, until);
  }
}

void PageBridge::SetNavigationEnabled(bool enabled) {
  std::lock_guard<std::mutex> lock(mu_);
  nav_enabled_ = enabled;
  cv_.notify_all();
}

bool PageBridge::navigation_enabled() const {
  std::lock_guard<std::mutex> lock(mu_);
  return nav_enabled_;
}

void PageBridge::Close() {
  std::lock_guard<std::mutex> lock(mu_);
  closed_ = true;
  cv_.notify_all();
}

bool BridgePageHost::CallScript(TextView function, const std::vector<Text>& args) {
  bridge_.Queue(page_, function, args);
  return true;
}

std::string JsonString(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == '<' || c == '>' || c == '&' || c == '\'') {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string PollJson(const PageBridge::Poll& poll, bool nav_enabled) {
  std::string out = "{\"navigate\":" + JsonString(poll.navigate) + ",\"calls\":[";
  for (std::size_t i = 0; i < poll.calls.size(); ++i) {
    if (i) out += ",";
    out += "[" + JsonString(poll.calls[i].function);
    for (const std::string& a : poll.calls[i].args) out += "," + JsonString(a);
    out += "]";
  }
  out += std::string("],\"nav\":") + (nav_enabled ? "true" : "false") + ",\"closed\":" +
         (poll.closed ? "true" : "false") + "}";
  return out;
}

}  // namespace hs
