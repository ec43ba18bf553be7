#include "core/plugin.hpp"

#include <memory>

#include "core/host_adapters.hpp"

namespace zoq {

ZOQ_HOT std::unique_ptr<PluginState>& PluginInstance() {
  static std::unique_ptr<PluginState> state;
  return state;
}

PluginState::PluginState()
    : Adapters(std::make_unique<HostAdapters>()),
      options_(std::make_shared<const Options>()),
      fuzzy_(std::make_shared<const FuzzyKeywordIndex>()) {}
PluginState::~PluginState() = default;

ZOQ_HOT std::shared_ptr<const Options> PluginState::Current() const {
  std::lock_guard<std::mutex> hold(lock_);
  return options_;
}

void PluginState::Change(const std::function<void(Options&)>& edit) {
  std::lock_guard<std::mutex> hold(lock_);
  auto changed = std::make_shared<Options>(*options_);
  edit(*changed);
  options_ = std::move(changed);
}

ZOQ_HOT std::string PluginState::RobotAccount() const {
  std::lock_guard<std::mutex> hold(lock_);
  return robotAccount_;
}

bool PluginState::AccountStarted() const {
  std::lock_guard<std::mutex> hold(lock_);
  return accountStarted_;
}

void PluginState::SetRobotAccount(const std::string& account, bool start) {
  std::lock_guard<std::mutex> hold(lock_);
  robotAccount_ = account;
  accountStarted_ = accountStarted_ || start;
}

bool PluginState::TakeFirstAccount(const std::string& account) {
  std::lock_guard<std::mutex> hold(lock_);
  if (accountStarted_) return false;
  robotAccount_ = account;
  accountStarted_ = true;
  return true;
}

void PluginState::ForgetRobotAccount() {
  std::lock_guard<std::mutex> hold(lock_);
  robotAccount_.clear();
  accountStarted_ = false;
}

ZOQ_HOT std::shared_ptr<const FuzzyKeywordIndex> PluginState::Fuzzy() const {
  std::lock_guard<std::mutex> hold(lock_);
  return fuzzy_;
}

void PluginState::SetFuzzy(std::shared_ptr<const FuzzyKeywordIndex> index) {
  std::lock_guard<std::mutex> hold(lock_);
  fuzzy_ = std::move(index);
}

std::optional<std::string> PluginState::PendingAdminItem(const std::string& key) const {
  std::lock_guard<std::mutex> hold(lock_);
  const auto it = pendingAdmin_.find(key);
  if (it == pendingAdmin_.end()) return std::nullopt;
  return it->second;
}

void PluginState::SetPendingAdminItem(const std::string& key, std::optional<std::string> value) {
  std::lock_guard<std::mutex> hold(lock_);
  if (value) {
    pendingAdmin_[key] = std::move(*value);
  } else {
    pendingAdmin_.erase(key);
  }
}

void PluginState::ForgetPendingAdminItems() {
  std::lock_guard<std::mutex> hold(lock_);
  pendingAdmin_.clear();
}

ZOQ_HOT std::int32_t PluginState::CountReply() {
  std::lock_guard<std::mutex> hold(lock_);
  return ++replyCounter_;
}

std::int32_t PluginState::RepliesCounted() const {
  std::lock_guard<std::mutex> hold(lock_);
  return replyCounter_;
}

void PluginState::PurgeDone() {
  std::lock_guard<std::mutex> hold(lock_);
  replyCounter_ = 0;
}

std::int32_t PluginState::Draw(std::uint32_t ticks, std::int32_t a, std::int32_t b, bool drawAfter) {
  std::lock_guard<std::mutex> hold(lock_);
  random_.Reseed(ticks);
  return drawAfter ? random_.Between(a, b) : 0;
}

void PluginState::SetCloseWindows(std::function<void()> close) {
  std::lock_guard<std::mutex> hold(lock_);
  closeWindows_ = std::move(close);
}

void PluginState::CloseWindows() {
  std::function<void()> close;
  {
    std::lock_guard<std::mutex> hold(lock_);
    close = closeWindows_;
  }
  if (close) close();
}

std::string PluginState::WithWxPluginInfo(const std::function<std::string(WxPluginInfoRecord&)>& fillAndBuild) {
  std::lock_guard<std::mutex> hold(wxInfoLock_);
  return fillAndBuild(wxPluginInfo_);
}

WxPluginInfoRecord PluginState::WxPluginInfo() {
  std::lock_guard<std::mutex> hold(wxInfoLock_);
  return wxPluginInfo_;
}

const char* PluginState::KeepExportResult(ExportSlot slot, std::string text) {
  std::lock_guard<std::mutex> hold(lock_);
  std::deque<std::string>& kept = exportResults_[slot];
  // The same text again keeps its block: a pointer handed out stays good.
  if (kept.empty() || kept.back() != text) {
    kept.push_back(std::move(text));
    if (kept.size() > kKeptResults) kept.pop_front();
  }
  return kept.back().c_str();
}

ZOQ_HOT PluginState& Plugin() { return *PluginInstance(); }
ZOQ_HOT PluginState* PluginIfAlive() { return PluginInstance().get(); }

}  // namespace zoq
