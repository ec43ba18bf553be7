// The changes to the files of one folder, as the system reports them: an
// edit is seen even when it keeps the file's size and write time. Nothing
// runs in between: the system queues the changes and Take collects them,
// on any thread; the watch is no thread's and outlives the one that made
// it.
// The folder's own name is watched in the folder above it, so that a folder
// renamed away, deleted or replaced under its path is told apart from one
// that stays.
#pragma once
#include <memory>
#include <string>
#include <vector>

namespace zoq::platform {

class FolderWatch {
 public:
  // `files`: false to watch the folder's name alone (renamed away, deleted,
  // replaced or made), from the folder above only: no handle of the folder
  // is held.
  explicit FolderWatch(const std::string& folder, bool files = true);
  ~FolderWatch();  // cancels the system's requests and waits for them
  FolderWatch(const FolderWatch&) = delete;
  FolderWatch& operator=(const FolderWatch&) = delete;

  // False when the folder cannot be watched, or no more (then nothing is
  // reported).
  bool watching() const { return files_ || above_; }

  struct Changes {
    bool all = false;                // the system lost count: any file may have changed
    bool gone = false;               // the folder at the path is not the one watched any more: the watch stops
    bool restarted = false;          // the system stopped watching a moment: what changed then is not told
    std::vector<std::string> names;  // the files written, created, deleted or renamed (GBK)
  };
  // What changed since the last call.
  Changes Take();

 private:
  struct Request;

  std::string name_;  // the folder's name in the folder above it
  std::unique_ptr<Request> files_, above_;
};

}  // namespace zoq::platform
