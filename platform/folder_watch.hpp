// The changes to the files of one folder, as the system reports them: an
// edit is seen even when it keeps the file's size and write time. Nothing
// runs in between: the system queues the changes and Take collects them.
#pragma once
#include <memory>
#include <string>
#include <vector>

namespace zoq::platform {

class FolderWatch {
 public:
  explicit FolderWatch(const std::string& folder);
  ~FolderWatch();  // cancels the system's request and waits for it
  FolderWatch(const FolderWatch&) = delete;
  FolderWatch& operator=(const FolderWatch&) = delete;

  const std::string& folder() const { return folder_; }
  // False when the folder cannot be watched (then nothing is reported).
  bool watching() const { return directory_ != nullptr; }

  struct Changes {
    bool all = false;                // the system lost count: any file may have changed
    std::vector<std::string> names;  // the files written, created, deleted or renamed (GBK)
  };
  // What changed since the last call.
  Changes Take();

 private:
  struct Request;
  bool Arm();
  void Stop();

  std::string folder_;
  void* directory_ = nullptr;
  std::unique_ptr<Request> request_;
  bool armed_ = false;
};

}  // namespace zoq::platform
