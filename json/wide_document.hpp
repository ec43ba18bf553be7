// WideJsonDocument: JsonDocument with a re-entrant lock held by every
// operation for its whole run. The document, its node views (WideJsonNode)
// and its copies share one lock, so they exclude each other across threads.
// Each object also keeps the lock flag that InitLock, DeleteLock, the loads
// and Clear set, as IsLockReady reports it. Unlike JsonDocument's, a text
// merge that merges or adds no member (an empty object, every member
// skipped) answers false.
#pragma once

#include <atomic>

#include "json/document.hpp"

namespace zoq::json {

// The lock operations of the locked classes.
class LockFlag {
 public:
  using LockToken = const void*;  // names the lock; a caller can only keep it

  // Marks the lock ready (once); answers the lock.
  LockToken InitLock() {
    ready_ = 1;
    return token_;
  }
  void DeleteLock() { ready_ = 0; }
  LockToken GetLock() const { return token_; }
  int32_t IsLockReady() const { return ready_; }

  LockFlag(const LockFlag& o) : token_(o.token_), ready_(o.ready_.load()) {}
  LockFlag& operator=(const LockFlag& o) {
    token_ = o.token_;
    ready_ = o.ready_.load();
    return *this;
  }

 protected:
  explicit LockFlag(LockToken token) : token_(token) {}

 private:
  LockToken token_;
  std::atomic<int32_t> ready_{0};
};

class WideJsonNode : public BasicDocument<WideJsonNode>, public LockFlag {
 public:
  WideJsonNode() : BasicDocument(kWideJsonDialect, true), LockFlag(TreeLock()) {}
  WideJsonNode(NodeHandle node, const DocumentBase& origin)
      : BasicDocument(std::move(node), origin), LockFlag(TreeLock()) {}
};

class WideJsonDocument : public LoadableDocument<WideJsonNode>, public LockFlag {
 public:
  WideJsonDocument() : LoadableDocument(kWideJsonDialect, true), LockFlag(TreeLock()) {}

  // The loads make the lock ready first.
  template <class... A>
  bool LoadNew(const A&... a) { InitLock(); return LoadableDocument::LoadNew(a...); }
  template <class... A>
  bool LoadNewW(const A&... a) { InitLock(); return LoadableDocument::LoadNewW(a...); }
  template <class... A>
  bool Load(const A&... a) { InitLock(); return LoadableDocument::Load(a...); }
  template <class... A>
  bool LoadW(const A&... a) { InitLock(); return LoadableDocument::LoadW(a...); }

  // Frees the tree and clears the lock flag; does nothing without a tree or
  // while the lock is not ready.
  void Clear() {
    if (!HasRoot() || !IsLockReady()) return;
    LoadableDocument::Clear();
    DeleteLock();
  }
};

}  // namespace zoq::json
