#include "core/files/kept_times.hpp"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "platform/files.hpp"
#include "platform/folder_lock.hpp"
#include "platform/lock.hpp"
#include "text/text.hpp"

namespace zoq {
namespace {

// The table's block: a head; the buckets, each the position (+ 1) of the
// newest time of the names that hash to it, each time linking the next
// older one of its bucket (only the newest time of a key is linked); then a
// ring of records, each a record head and its section, key and value bytes,
// padded to 8 bytes. Records go in at the ring's end and out at its start,
// the oldest first; a position counts the bytes that ever went in, so it
// tells a record apart for good and says whether it is still in the ring. A
// record never runs over the ring's physical end: the bytes left there are
// skipped. A record is written past the end and counted in by one store of
// `end`; what changes in a record later is a store of one word each. A
// change that a process ended in the middle of is found by the check of
// each record when the next holder has the lock, and every record is linked
// anew then: the one time the lock is held for work that grows with the
// table, and it grows no faster than the records.
//
// The hash of a time's names is keyed with a secret the table makes when it
// is made (SipHash-2-4 with a key of 128 bits from the system's random
// source), which no chat or file can learn: names cannot be chosen to fall
// into one bucket. A bucket still holds the names of at most
// kMostInBucket times, so that a look at a key never walks more: one more
// lets go of the oldest times of the table up to the bucket's oldest, as a
// full table does (by chance, about once in 10^15 times kept into a full
// table).
constexpr std::size_t kBlockSize = 4u << 20;
constexpr std::uint32_t kMagic = 0x33544B5A;  // the layout's version: "ZKT3"
constexpr std::uint32_t kBuckets = 1u << 16;
constexpr std::uint32_t kMostInBucket = 16;

struct Head {
  std::uint32_t magic;
  std::uint32_t moved;    // times that went into SAVE or were forgotten, all told
  std::uint64_t start;    // the position of the oldest record
  std::uint64_t end;      // past the newest: where the next one goes
  std::uint64_t settled;  // every record before it is settled (below)
  std::uint32_t epoch;    // times SAVE was found deleted while a time stood for it
  std::uint32_t standsForFile;  // in this epoch, a time was kept beside SAVE or went into it
  std::uint64_t secret[2];      // the key of the names' hash
  std::uint32_t spare[2];
};
static_assert(sizeof(Head) == 64);

constexpr std::size_t kBucketsAt = sizeof(Head);
constexpr std::size_t kRingAt = kBucketsAt + kBuckets * sizeof(std::uint64_t);
constexpr std::uint64_t kRing = kBlockSize - kRingAt;
static_assert(kRing == KeptTimes::kRingBytes);

constexpr std::uint32_t kFileWasThere = 1, kInFile = 2, kReplaced = 4, kForgotten = 8, kUnwritable = 16, kPad = 32;
// Settled: SAVE is not to take it (any more).
constexpr std::uint32_t kSettled = kInFile | kReplaced | kForgotten | kUnwritable | kPad;

struct RecordHead {
  std::uint32_t size;   // of the whole record, padding included
  std::uint32_t check;  // of what never changes: from `position` up to `next`, and the bytes after the head
  std::uint64_t position;
  KeptTimes::FileValue before, replaced;
  std::uint32_t nameHash;
  std::uint32_t sectionLength, keyLength, valueLength;
  // What changes later.
  std::uint64_t next;   // the position + 1 of the bucket's next older linked record; 0: none
  std::uint32_t flags;
  std::uint32_t epoch;  // the epoch it was kept in, or went into SAVE in
};
static_assert(sizeof(RecordHead) == KeptTimes::kRecordHeadBytes && offsetof(RecordHead, next) == 48);

std::atomic<std::uint64_t> gVisited{0};
void Visit() { gVisited.fetch_add(1, std::memory_order_relaxed); }

std::uint32_t Check(const RecordHead& r) {
  std::uint32_t h = 2166136261u;
  const auto add = [&](const unsigned char* bytes, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) h = (h ^ bytes[i]) * 16777619u;
  };
  const auto* bytes = reinterpret_cast<const unsigned char*>(&r);
  add(bytes + offsetof(RecordHead, position), offsetof(RecordHead, next) - offsetof(RecordHead, position));
  add(bytes + sizeof r, std::size_t(r.sectionLength) + r.keyLength + r.valueLength);
  return h;
}

}  // namespace

namespace {

// The bucket of a hash of names.
std::uint32_t PlaceOf(std::uint32_t hash) { return hash >> 16; }

class Table {
 public:
  explicit Table(const platform::SharedBlock& block) : block_(block.data()) {}

  Head& head() const { return *reinterpret_cast<Head*>(block_); }

  // A block of the layout: a new one (zeroed), or one a process ended in
  // the middle of changing, made whole: the times up to the first that does
  // not check out stay.
  void MakeWhole(bool afterAnEnd) {
    const Head& h = head();
    if (h.magic != kMagic || h.start > h.end || h.end - h.start > kRing || h.start % 8 != 0 || h.end % 8 != 0) {
      Reset();
    } else if (afterAnEnd) {
      Relink();
    }
  }

  RecordHead& at(std::uint64_t position) const {
    return *reinterpret_cast<RecordHead*>(block_ + kRingAt + position % kRing);
  }
  std::string_view Section(const RecordHead& r) const { return {Text(r), r.sectionLength}; }
  std::string_view Key(const RecordHead& r) const { return {Text(r) + r.sectionLength, r.keyLength}; }
  std::string_view Value(const RecordHead& r) const { return {Text(r) + r.sectionLength + r.keyLength, r.valueLength}; }

  bool Within(std::uint64_t position) const { return position >= head().start && position < head().end; }
  // Whether a record (and not the bytes skipped at the ring's end) is there.
  bool IsRecord(std::uint64_t position) const {
    return kRing - position % kRing >= sizeof(RecordHead) && !(at(position).flags & kPad);
  }
  std::uint64_t After(std::uint64_t position) const {
    const std::uint64_t left = kRing - position % kRing;
    return position + (left < sizeof(RecordHead) ? left : at(position).size);
  }

  // Forgotten: by name, or as one that stood for a SAVE the owner deleted.
  bool Forgotten(const RecordHead& r) const {
    return (r.flags & kForgotten) || ((r.flags & (kFileWasThere | kInFile)) && r.epoch != head().epoch);
  }
  bool Settled(const RecordHead& r) const { return (r.flags & kSettled) || Forgotten(r); }

  // The hash of the names as the INI functions take them (a name holds no
  // NUL: it parts them).
  std::uint32_t NamesHash(std::string_view section, std::string_view key) const {
    return static_cast<std::uint32_t>(
        text::SipHash24(head().secret, IniNameForm(section) + '\0' + IniNameForm(key)));
  }

  KeptTimes::Time TimeAt(std::uint64_t position) const {
    const RecordHead& r = at(position);
    return {{std::string(Section(r)), std::string(Key(r)), std::string(Value(r))},
            position + 1, r.before, r.replaced, (r.flags & kInFile) != 0};
  }

  // The link to the newest record of the names (its bucket, or the record
  // linked before it); none when there is none. `others`: the records of
  // other names it went past, and the position of the oldest of them.
  std::uint64_t* LinkTo(std::uint32_t hash, std::string_view section, std::string_view key,
                        std::uint32_t* others = nullptr, std::uint64_t* oldest = nullptr) const {
    std::uint64_t* link = &Bucket(hash);
    std::uint32_t passed = 0;
    for (; *link != 0 && Within(*link - 1); ++passed) {
      Visit();
      RecordHead& r = at(*link - 1);
      if (r.nameHash == hash && SameIniName(Section(r), section) && SameIniName(Key(r), key)) return link;
      if (oldest) *oldest = *link - 1;
      link = &r.next;
    }
    if (others) *others = passed;
    return nullptr;
  }

  // Links the record at `position` as the newest of its names: the one
  // before it is replaced. Its bucket full, the oldest times go up to the
  // oldest one of it.
  void Link(std::uint64_t position) {
    RecordHead& r = at(position);
    std::uint32_t others = 0;
    std::uint64_t oldest = 0;
    if (std::uint64_t* link = LinkTo(r.nameHash, Section(r), Key(r), &others, &oldest)) {
      RecordHead& old = at(*link - 1);
      *link = old.next;
      old.flags |= kReplaced;
    } else if (others >= kMostInBucket) {
      LetGoUpTo(oldest);
    }
    std::uint64_t& bucket = Bucket(r.nameHash);
    r.next = bucket;
    bucket = position + 1;
  }

  // The records before `position`, and its own, go out of the ring.
  void LetGoUpTo(std::uint64_t position) {
    Head& h = head();
    while (h.start <= position) {
      Visit();
      h.start = After(h.start);
    }
    h.settled = std::max(h.settled, h.start);
  }

  // Where a record of `size` bytes goes: at the end, the oldest records
  // going out for it, past the bytes left at the ring's end when it does
  // not fit in them.
  std::uint64_t MakeRoom(std::uint64_t size) {
    Head& h = head();
    const std::uint64_t left = kRing - h.end % kRing;
    std::uint64_t skip = size > left ? left : 0;
    while (h.end + skip + size - h.start > kRing && h.start < h.end) LetGoUpTo(h.start);
    if (skip && h.start == h.end) {
      h.start += skip;  // an empty ring begins anew at its physical start
    } else if (skip && left >= sizeof(RecordHead)) {
      RecordHead& pad = at(h.end);
      pad = RecordHead{};
      pad.size = static_cast<std::uint32_t>(left);
      pad.position = h.end;
      pad.flags = kPad;
    }
    h.end += skip;
    h.settled = std::max(h.settled, h.start);
    return h.end;
  }

  // The new record of the time, counted in (not linked yet); 0 when it is
  // longer than the ring.
  std::uint64_t Append(const IniChange& time, std::uint32_t hash, std::uint32_t flags, KeptTimes::FileValue before,
                       KeptTimes::FileValue replaced) {
    const std::string& key = *time.key;
    const std::string& value = *time.value;
    const std::uint64_t size = (sizeof(RecordHead) + time.section.size() + key.size() + value.size() + 7) / 8 * 8;
    if (size > kRing) return 0;
    Head& h = head();
    const std::uint64_t position = MakeRoom(size);
    RecordHead& r = at(position);
    r = RecordHead{static_cast<std::uint32_t>(size), 0, position, before, replaced, hash,
                   static_cast<std::uint32_t>(time.section.size()), static_cast<std::uint32_t>(key.size()),
                   static_cast<std::uint32_t>(value.size()), 0, flags, h.epoch};
    char* text = reinterpret_cast<char*>(&r + 1);
    std::memcpy(text, time.section.data(), time.section.size());
    std::memcpy(text + time.section.size(), key.data(), key.size());
    std::memcpy(text + time.section.size() + key.size(), value.data(), value.size());
    r.check = Check(r);
    h.end = position + size;  // counted in: the record is whole
    return position + 1;
  }

  // A table made anew, with a secret of its own. Positions go on past the
  // ones any holder may still name (the head as it stands, its last
  // position maybe lost), and so does the count holders compare.
  void Reset() {
    Head& h = head();
    const std::uint64_t from = (std::max(h.start, h.end) + 7) / 8 * 8 + kRing;
    const std::uint32_t moved = h.moved + 1;
    std::memset(block_, 0, kRingAt);
    h.magic = kMagic;
    h.moved = moved;
    h.start = h.end = h.settled = from;
    platform::SecretBytes(h.secret, sizeof h.secret);
  }

 private:
  const char* Text(const RecordHead& r) const { return reinterpret_cast<const char*>(&r + 1); }
  std::uint64_t& Bucket(std::uint32_t hash) const {
    return reinterpret_cast<std::uint64_t*>(block_ + kBucketsAt)[PlaceOf(hash)];
  }

  // After a process ended holding the lock: the records up to the first
  // that is not whole stay, each linked anew in order.
  void Relink() {
    Head& h = head();
    std::uint64_t p = h.start;
    while (p < h.end) {
      const std::uint64_t left = kRing - p % kRing;
      if (left < sizeof(RecordHead)) {
        p += left;
        continue;
      }
      const RecordHead& r = at(p);
      const bool pad = r.flags & kPad;
      if (r.position != p || r.size < sizeof r || r.size % 8 != 0 || r.size > left || (pad && r.size != left) ||
          (!pad && (std::uint64_t(r.sectionLength) + r.keyLength + r.valueLength > r.size - sizeof r ||
                    Check(r) != r.check))) {
        break;
      }
      p += r.size;
    }
    h.end = p;
    h.settled = std::clamp(h.settled, h.start, h.end);
    std::memset(block_ + kBucketsAt, 0, kRingAt - kBucketsAt);
    for (p = h.start; p < h.end; p = After(p)) {
      if (!IsRecord(p)) continue;
      at(p).next = 0;
      if (!(at(p).flags & kReplaced)) Link(p);
    }
    ++h.moved;
  }

  unsigned char* block_;
};

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

KeptTimes::FileValue KeptTimes::ValueInFile(const std::optional<std::string>& value) {
  if (!value) return kAbsent;
  std::uint64_t h = 1469598103934665603ull;
  for (const unsigned char c : *value) h = (h ^ c) * 1099511628211ull;
  return h <= kAbsent ? h + 2 : h;
}

KeptTimes::KeptTimes(const std::string& name) : block_(name, kBlockSize) {}

std::string KeptTimes::BlockNameFor(const std::string& file) {
  const std::size_t cut = platform::LastPathSeparator(file);
  const std::string folder = cut == std::string::npos ? std::string(".") : file.substr(0, cut);
  return platform::FolderLock::KeptNameFor(folder) + "-times3";
}

KeptTimes& KeptTimes::Of(const std::string& file) {
  const std::string name = BlockNameFor(file);
  TablesOpened& o = AllOpened();
  std::lock_guard<platform::Mutex> hold(o.lock);
  auto& [savedFile, times] = o.byName[name];
  if (!times) times = std::make_unique<KeptTimes>(name);
  // The SAVE of the path the folder was last reached by: the one a stop
  // writes (a folder renamed, or one whose number the system gave again to
  // a folder made later, is the same folder).
  if (savedFile != file) savedFile = file;
  return *times;
}

std::vector<std::pair<std::string, KeptTimes*>> KeptTimes::Opened() {
  TablesOpened& o = AllOpened();
  std::vector<std::pair<std::string, KeptTimes*>> tables;
  std::vector<std::string> names;
  {
    std::lock_guard<platform::Mutex> hold(o.lock);
    for (const auto& [name, opened] : o.byName) tables.emplace_back(opened.first, opened.second.get()), names.push_back(name);
  }
  // A folder made anew under the path of one whose table this is (the owner
  // replaced the data folder while the host ran) has a table of its own: the
  // old folder's times are none of its SAVE's.
  std::vector<std::pair<std::string, KeptTimes*>> still;
  for (std::size_t i = 0; i < tables.size(); ++i) {
    if (BlockNameFor(tables[i].first) == names[i]) still.push_back(tables[i]);
  }
  return still;
}

std::uint64_t KeptTimes::Visited() { return gVisited.load(std::memory_order_relaxed); }

KeptTimes::Hold::Hold(KeptTimes& times, std::uint32_t waitMs) : times_(times), hold_(times.block_, waitMs) {
  if (hold_) Table(times_.block_).MakeWhole(hold_.abandoned());
}

void KeptTimes::Hold::FileSeen(bool there) {
  Head& h = Table(times_.block_).head();
  if (there || !h.standsForFile) return;
  ++h.epoch;
  h.standsForFile = 0;
  ++h.moved;
}

std::uint32_t KeptTimes::Hold::Place(std::string_view section, std::string_view key) const {
  const Table table(times_.block_);
  return PlaceOf(table.NamesHash(section, key));
}

std::optional<KeptTimes::Time> KeptTimes::Hold::Find(std::string_view section, std::string_view key) const {
  const Table table(times_.block_);
  const std::uint64_t* link = table.LinkTo(table.NamesHash(section, key), section, key);
  if (!link || table.Forgotten(table.at(*link - 1))) return std::nullopt;
  return table.TimeAt(*link - 1);
}

std::uint64_t KeptTimes::Hold::Keep(const IniChange& time, bool fileWasThere, FileValue before, bool writable) {
  Table table(times_.block_);
  const std::uint32_t hash = table.NamesHash(time.section, *time.key);
  FileValue replaced = kUnknown;
  if (const std::uint64_t* link = table.LinkTo(hash, time.section, *time.key)) {
    const RecordHead& old = table.at(*link - 1);
    if (!table.Forgotten(old)) replaced = ValueInFile(std::string(table.Value(old)));
  }
  const std::uint32_t flags = (fileWasThere ? kFileWasThere : 0) | (writable ? 0 : kUnwritable);
  const std::uint64_t id = table.Append(time, hash, flags, before, replaced);
  if (id == 0) return 0;  // a time longer than the table is kept by none
  table.Link(id - 1);
  if (fileWasThere) table.head().standsForFile = 1;
  return id;
}

std::vector<KeptTimes::Time> KeptTimes::Hold::Unwritten(std::size_t most, std::uint64_t first, bool* more) {
  Table table(times_.block_);
  Head& h = table.head();
  std::vector<Time> out;
  if (first != 0 && table.Within(first - 1) && !table.Settled(table.at(first - 1))) out.push_back(table.TimeAt(first - 1));
  // From the first not settled on, a bounded look: the mark moves past the
  // settled ones it finds before it.
  std::uint64_t p = std::max(h.settled, h.start);
  bool marking = true;
  std::size_t taken = 0;
  for (std::size_t looked = 0; p < h.end && taken < most && looked < 4 * most + 32; ++looked, p = table.After(p)) {
    Visit();
    if (!table.IsRecord(p) || table.Settled(table.at(p))) {
      if (marking) h.settled = table.After(p);
      continue;
    }
    marking = false;
    if (p + 1 != first) out.push_back(table.TimeAt(p)), ++taken;
  }
  if (more) *more = p < h.end;
  return out;
}

void KeptTimes::Hold::InFile(const std::vector<std::uint64_t>& ids) {
  Table table(times_.block_);
  Head& h = table.head();
  bool any = false;
  for (const std::uint64_t id : ids) {
    if (!table.Within(id - 1)) continue;
    Visit();
    RecordHead& r = table.at(id - 1);
    if (table.Settled(r)) continue;
    r.flags |= kInFile;
    r.epoch = h.epoch;
    any = true;
  }
  if (any) h.standsForFile = 1, ++h.moved;
}

void KeptTimes::Hold::Forget(const std::vector<std::uint64_t>& ids) {
  Table table(times_.block_);
  bool any = false;
  for (const std::uint64_t id : ids) {
    if (!table.Within(id - 1)) continue;
    Visit();
    table.at(id - 1).flags |= kForgotten;
    any = true;
  }
  if (any) ++table.head().moved;
}

void KeptTimes::Hold::Clear() {
  Head& h = Table(times_.block_).head();
  if (h.start != h.end) ++h.moved;
  h.start = h.settled = h.end;
  h.standsForFile = 0;
}

std::uint32_t KeptTimes::Hold::Moved() const { return Table(times_.block_).head().moved; }

}  // namespace zoq
