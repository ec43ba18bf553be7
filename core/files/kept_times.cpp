#include "core/files/kept_times.hpp"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "platform/files.hpp"
#include "platform/folder_lock.hpp"
#include "platform/lock.hpp"

namespace zoq {
namespace {

// The table's block: a head, then the times one after the other, each a
// record head and its section, key and value bytes, padded to 8 bytes. A
// time is added past the end and counted in by one store of `used`; a
// change that moves or marks times may be cut short by the end of its
// process, which the check of each record finds.
constexpr std::size_t kBlockSize = 1 << 20;
constexpr std::uint32_t kMagic = 0x31544B5A;  // the layout's version: "ZKT1"

struct Head {
  std::uint32_t magic;
  std::uint32_t used;   // bytes of the block in use, this head's included
  std::uint32_t moved;  // times that went into SAVE or were forgotten, all told
  std::uint32_t spare;
  std::uint64_t lastId;
};

constexpr std::uint32_t kFileWasThere = 1, kInFile = 2;

struct RecordHead {
  std::uint32_t size;   // of the whole record, padding included
  std::uint32_t check;  // of everything after it
  std::uint64_t id;
  std::uint32_t sectionLength, keyLength, valueLength;
  std::uint32_t flags;
};

constexpr std::uint32_t kFirst = sizeof(Head);

std::uint32_t Check(const unsigned char* record, std::uint32_t size) {
  std::uint32_t h = 2166136261u;
  for (std::uint32_t i = offsetof(RecordHead, id); i < size; ++i) h = (h ^ record[i]) * 16777619u;
  return h;
}

// A record as it stands in the block.
struct Record {
  RecordHead head;
  unsigned char* at;
  const char* text() const { return reinterpret_cast<const char*>(at + sizeof head); }
  std::string_view section() const { return {text(), head.sectionLength}; }
  std::string_view key() const { return {text() + head.sectionLength, head.keyLength}; }
  std::string_view value() const { return {text() + head.sectionLength + head.keyLength, head.valueLength}; }
  void Mark(std::uint32_t flag) {
    head.flags |= flag;
    std::memcpy(at + offsetof(RecordHead, flags), &head.flags, sizeof head.flags);
    head.check = Check(at, head.size);
    std::memcpy(at + offsetof(RecordHead, check), &head.check, sizeof head.check);
  }
};

class Table {
 public:
  explicit Table(const platform::SharedBlock& block) : block_(block.data()), size_(block.size()) {}

  Head& head() const { return *reinterpret_cast<Head*>(block_); }

  // A block of the layout; a new one (zeroed), or one a process ended in
  // the middle of changing, made whole: the times up to the first that does
  // not check out stay.
  void MakeWhole(bool afterAnEnd) {
    Head& h = head();
    if (h.magic != kMagic || h.used < kFirst || h.used > size_) {
      h = Head{kMagic, kFirst, h.magic == kMagic ? h.moved + 1 : 0, 0, h.magic == kMagic ? h.lastId : 0};
      return;
    }
    if (!afterAnEnd) return;
    std::uint32_t at = kFirst;
    while (at < h.used) {
      RecordHead r;
      if (h.used - at < sizeof r) break;
      std::memcpy(&r, block_ + at, sizeof r);
      const std::uint64_t lengths = std::uint64_t(r.sectionLength) + r.keyLength + r.valueLength;
      if (r.size < sizeof r || r.size % 8 != 0 || r.size > h.used - at || sizeof r + lengths > r.size ||
          Check(block_ + at, r.size) != r.check) {
        break;
      }
      at += r.size;
    }
    if (at != h.used) ++h.moved;
    h.used = at;
  }

  // Calls `f` with each record until it answers false.
  template <class F>
  void ForEach(F&& f) const {
    for (std::uint32_t at = kFirst; at < head().used;) {
      Record r{{}, block_ + at};
      std::memcpy(&r.head, r.at, sizeof r.head);
      if (!f(r)) return;
      at += r.head.size;
    }
  }

  // Takes out the records for which `gone` holds, keeping the others in
  // order.
  template <class F>
  void Remove(F&& gone) {
    Head& h = head();
    std::uint32_t to = kFirst;
    bool any = false;
    for (std::uint32_t at = kFirst; at < h.used;) {
      Record r{{}, block_ + at};
      std::memcpy(&r.head, r.at, sizeof r.head);
      const std::uint32_t size = r.head.size;
      if (gone(r)) {
        any = true;
      } else {
        if (to != at) std::memmove(block_ + to, block_ + at, size);
        to += size;
      }
      at += size;
    }
    h.used = to;
    if (any) ++h.moved;
  }

  // Takes out the first record with every one of `flags`; false when there
  // is none.
  bool RemoveFirst(std::uint32_t flags) {
    bool found = false;
    Remove([&](const Record& r) { return !found && (r.head.flags & flags) == flags && (found = true); });
    return found;
  }

  void Append(const IniChange& time, std::uint32_t flags) {
    const std::string& key = *time.key;
    const std::string& value = *time.value;
    const std::size_t size = (sizeof(RecordHead) + time.section.size() + key.size() + value.size() + 7) / 8 * 8;
    if (size > size_ - kFirst) return;  // a time longer than the table is kept by none
    // Full: the times SAVE took go first, then the ones kept longest.
    for (const std::uint32_t kind : {kInFile, 0u}) {
      while (size > size_ - head().used && RemoveFirst(kind)) {
      }
    }
    Head& h = head();
    unsigned char* at = block_ + h.used;
    std::memset(at, 0, size);
    const RecordHead r{static_cast<std::uint32_t>(size), 0, ++h.lastId,
                       static_cast<std::uint32_t>(time.section.size()), static_cast<std::uint32_t>(key.size()),
                       static_cast<std::uint32_t>(value.size()), flags};
    std::memcpy(at, &r, sizeof r);
    unsigned char* text = at + sizeof r;
    std::memcpy(text, time.section.data(), time.section.size());
    std::memcpy(text + time.section.size(), key.data(), key.size());
    std::memcpy(text + time.section.size() + key.size(), value.data(), value.size());
    const std::uint32_t check = Check(at, r.size);
    std::memcpy(at + offsetof(RecordHead, check), &check, sizeof check);
    h.used += static_cast<std::uint32_t>(size);  // counted in: the record is whole
  }

 private:
  unsigned char* block_;
  std::size_t size_;
};

bool Among(const std::vector<std::uint64_t>& ids, const Record& r) {
  return std::find(ids.begin(), ids.end(), r.head.id) != ids.end();
}

// The tables this process opened, by their block's name, with their SAVE.
struct TablesOpened {
  platform::Mutex lock;
  std::map<std::string, std::pair<std::string, std::unique_ptr<KeptTimes>>> byName;
};
TablesOpened& AllOpened() {
  static TablesOpened opened;
  return opened;
}

}  // namespace

KeptTimes::KeptTimes(const std::string& name) : block_(name, kBlockSize) {}

KeptTimes& KeptTimes::Of(const std::string& file) {
  const std::size_t cut = platform::LastPathSeparator(file);
  const std::string folder = cut == std::string::npos ? std::string(".") : file.substr(0, cut);
  const std::string name = platform::FolderLock::KeptNameFor(folder) + "-times";
  TablesOpened& o = AllOpened();
  std::lock_guard<platform::Mutex> hold(o.lock);
  auto& [savedFile, times] = o.byName[name];
  if (!times) times = std::make_unique<KeptTimes>(name), savedFile = file;
  return *times;
}

std::vector<std::pair<std::string, KeptTimes*>> KeptTimes::Opened() {
  TablesOpened& o = AllOpened();
  std::lock_guard<platform::Mutex> hold(o.lock);
  std::vector<std::pair<std::string, KeptTimes*>> tables;
  for (const auto& [name, opened] : o.byName) tables.emplace_back(opened.first, opened.second.get());
  return tables;
}

KeptTimes::Hold::Hold(KeptTimes& times, std::uint32_t waitMs) : times_(times), hold_(times.block_, waitMs) {
  if (hold_) Table(times_.block_).MakeWhole(hold_.abandoned());
}

std::optional<std::string> KeptTimes::Hold::ValueOf(std::string_view section, std::string_view key,
                                                    bool alsoInFile) const {
  std::optional<std::string> value;
  Table(times_.block_).ForEach([&](const Record& r) {
    if ((alsoInFile || !(r.head.flags & kInFile)) && SameIniName(r.section(), section) && SameIniName(r.key(), key)) {
      value.emplace(r.value());
    }
    return !value;
  });
  return value;
}

std::vector<KeptTimes::Entry> KeptTimes::Hold::Entries(bool alsoInFile) const {
  std::vector<Entry> entries;
  Table(times_.block_).ForEach([&](const Record& r) {
    if (!alsoInFile && r.head.flags & kInFile) return true;
    entries.push_back({{std::string(r.section()), std::string(r.key()), std::string(r.value())},
                       (r.head.flags & kFileWasThere) != 0, (r.head.flags & kInFile) != 0, r.head.id});
    return true;
  });
  return entries;
}

void KeptTimes::Hold::Keep(const IniChange& time, bool fileWasThere) {
  Table table(times_.block_);
  table.Remove([&](const Record& r) { return SameIniName(r.section(), time.section) && SameIniName(r.key(), *time.key); });
  table.Append(time, fileWasThere ? kFileWasThere : 0);
}

void KeptTimes::Hold::InFile(const std::vector<std::uint64_t>& ids) {
  Table table(times_.block_);
  bool any = false;
  table.ForEach([&](Record r) {
    if (!(r.head.flags & kInFile) && Among(ids, r)) r.Mark(kInFile), any = true;
    return true;
  });
  if (any) ++table.head().moved;
}

void KeptTimes::Hold::Forget(const std::vector<std::uint64_t>& ids) {
  if (!ids.empty()) Table(times_.block_).Remove([&](const Record& r) { return Among(ids, r); });
}

void KeptTimes::Hold::Clear() {
  Head& h = Table(times_.block_).head();
  if (h.used != kFirst) ++h.moved;
  h.used = kFirst;
}

std::uint32_t KeptTimes::Hold::Moved() const { return Table(times_.block_).head().moved; }

}  // namespace zoq
