#include "core/files/file_writes.hpp"

#include <algorithm>
#include <atomic>
#include <iterator>
#include <map>
#include <set>
#include <memory>
#include <mutex>

#include "core/files/text_forms.hpp"
#include "platform/clock.hpp"
#include "platform/files.hpp"
#include "platform/lock.hpp"
#include "platform/thread_slot.hpp"

namespace zoq {
namespace {

std::string FolderOf(const std::string& path) {
  const std::size_t cut = platform::LastPathSeparator(path);
  return cut == std::string::npos ? std::string(".") : path.substr(0, cut);
}

std::string Folded(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return out;
}

// The image of text of the code page (or the text a file of Unicode text
// is changed in): a change's lines, a part of a file of that text.
IniImage ImageOfText(std::string text, IniText kind = IniText::CodePage) {
  IniImage image;
  image.Load(std::move(text), kind);
  return image;
}
// The image of a whole file's bytes, read in the file's form.
IniImage ImageOf(std::string bytes) {
  FileText read = ReadFileText(std::move(bytes));
  return ImageOfText(std::move(read.text), read.unicode ? IniText::Unicode : IniText::CodePage);
}

// A line as the multiset of lines counts it, names without case: a hash of
// its section, its key and its value (a header: the section alone).
std::uint64_t LineHash(const IniImage::Line& line) {
  std::uint64_t h = 1469598103934665603ull;
  const auto add = [&](std::string_view bytes, bool fold) {
    for (unsigned char c : bytes) {
      if (fold && c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c + 32);
      h = (h ^ c) * 1099511628211ull;
    }
    h = (h ^ 0x100) * 1099511628211ull;  // the end of a part
  };
  add(line.section, true);
  if (line.header) return h;
  add(line.key, true);
  if (line.value) add(*line.value, false);
  return (h ^ (line.value ? 1u : 2u)) * 1099511628211ull;
}

std::vector<std::uint64_t> SortedLineHashes(const IniImage& image) {
  std::vector<std::uint64_t> hashes;
  image.ForEachLine([&](const IniImage::Line& l) { hashes.push_back(LineHash(l)); });
  std::sort(hashes.begin(), hashes.end());
  return hashes;
}

// What a change may take away: the lines of its key (or of its whole
// section) in a section of its name.
bool Touches(const IniChange& change, const IniImage::Line& line, IniText kind) {
  if (!SameIniName(line.section, change.section, kind)) return false;
  return !change.key || (!line.header && SameIniName(line.key, *change.key, kind));
}

// The lines a change writes: its section and the key's line, as the INI
// functions would read them from a file of their own.
IniImage Written(const IniChange& change, IniText kind = IniText::CodePage) {
  return ImageOfText("[" + change.section + "]\r\n" + *change.key + "=" + *change.value + "\r\n", kind);
}

// The writes of this process, by path (ASCII letters folded).
struct WriteCounts {
  std::mutex lock;
  std::map<std::string, std::uint64_t> byPath;
  std::atomic<std::uint64_t> all{0};  // raised after the path's count
};
ZOQ_HOT WriteCounts& Writes() {
  static WriteCounts counts;
  return counts;
}
void CountWrite(const std::string& path) {
  WriteCounts& w = Writes();
  std::lock_guard<std::mutex> hold(w.lock);
  ++w.byPath[Folded(path)];
  ++w.all;
}

// The copies' names end so: a changed INI file's, a whole file's.
constexpr const char* kIniCopy = ".zoq-write";
constexpr const char* kWholeCopy = ".zoq-new";

// The calling thread's innermost wait budget.
ZOQ_HOT const platform::ThreadPointer<OtherProcessWait>& Waits() {
  static const platform::ThreadPointer<OtherProcessWait> waits;
  return waits;
}

// Deletes the copies left behind in the folder when it is due for a look:
// `always`, at its first write, or a minute after the last look.
void LookForCopiesLeftBehind(const std::string& folder, bool always) {
  constexpr std::uint32_t kLookEveryMs = 60000;
  static platform::Mutex lock;
  static std::map<std::string, std::uint32_t> lastLook;
  const std::uint32_t now = platform::TickCount();
  {
    std::lock_guard<platform::Mutex> hold(lock);
    const auto [it, first] = lastLook.try_emplace(Folded(folder), now);
    if (!first && !always && now - it->second < kLookEveryMs) return;
    it->second = now;
  }
  for (const char* suffix : {kIniCopy, kWholeCopy}) platform::RemoveOrphanedScratchFiles(folder, suffix);
}

// The folder of `path`, looked at for copies left behind.
std::string LookedAtFolderOf(const std::string& path) {
  std::string folder = FolderOf(path);
  LookForCopiesLeftBehind(folder, false);
  return folder;
}

// The bytes as the file at `path`, through a copy beside it (named with
// `suffix`) that takes its place in one step once it is on the disk
// (`overwrite`: over a file that is there).
bool PutInPlace(const std::string& path, const std::string& bytes, bool overwrite, const char* suffix) {
  platform::FileCopy copy(platform::ScratchNameFor(path, suffix), bytes);
  const bool done = copy.Put(path, overwrite);
  if (done) CountWrite(path);
  return done;
}

// Every line of `after` that `before` lacks is one a change writes, and
// every line of `before` that `after` lacks one of a key (or a section) a
// change names: as many times as each line stands, in any order.
bool LinesMadeWhole(const IniImage& before, const IniImage& after, const std::vector<IniChange>& changes) {
  const IniText kind = after.kind();
  const std::vector<std::uint64_t> was = SortedLineHashes(before), is = SortedLineHashes(after);
  std::vector<std::uint64_t> taken, added;
  std::set_difference(was.begin(), was.end(), is.begin(), is.end(), std::back_inserter(taken));
  std::set_difference(is.begin(), is.end(), was.begin(), was.end(), std::back_inserter(added));
  std::vector<std::uint64_t> mayAdd;
  for (const IniChange& c : changes) {
    if (c.key && c.value) Written(c, kind).ForEachLine([&](const IniImage::Line& l) { mayAdd.push_back(LineHash(l)); });
  }
  std::sort(mayAdd.begin(), mayAdd.end());
  if (!std::includes(mayAdd.begin(), mayAdd.end(), added.begin(), added.end())) return false;
  bool intact = true;
  if (!taken.empty()) {
    before.ForEachLine([&](const IniImage::Line& l) {
      if (!intact || !std::binary_search(taken.begin(), taken.end(), LineHash(l))) return;
      bool touched = false;
      for (const IniChange& c : changes) touched = touched || Touches(c, l, kind);
      intact = touched;
    });
  }
  return intact;
}

// What is known of each data file: the image parsed of it last (what a
// reader or a writer of the same bytes takes instead of parsing them again),
// with the bytes of a file of Unicode text it was read of, and the size a
// writer last found or left it at (what tells a read of a file that another
// program is saving in place); the image of the last steady read, with the
// stamp the file had then.
struct Known {
  std::shared_ptr<const IniImage> image;  // without `unicode`: its text is the bytes it was parsed of
  std::shared_ptr<const UnicodeFile> unicode;  // of a file of Unicode text
  std::optional<std::size_t> size;
  std::shared_ptr<const IniImage> steady;
  platform::FileStamp steadyStamp;
  // The bytes the image was parsed of, where they are known.
  const std::string* Bytes() const {
    if (unicode) return unicode->bytes.empty() ? nullptr : &unicode->bytes;
    return image ? &image->text() : nullptr;
  }
};
struct KnownFiles {
  std::mutex lock;
  std::map<std::string, Known> byPath;
};
KnownFiles& Files() {
  static KnownFiles files;
  return files;
}

Known KnownOf(const std::string& path) {
  KnownFiles& f = Files();
  std::lock_guard<std::mutex> hold(f.lock);
  const auto it = f.byPath.find(Folded(path));
  return it == f.byPath.end() ? Known{} : it->second;
}

// The image of what was just written to the file, or read of it (of a file
// of the code page: its text is those bytes; of one of Unicode text: read of
// the bytes `unicode` holds).
void KeepImage(const std::string& path, std::shared_ptr<const IniImage> image,
               std::shared_ptr<const UnicodeFile> unicode) {
  KnownFiles& f = Files();
  std::lock_guard<std::mutex> hold(f.lock);
  Known& k = f.byPath[Folded(path)];
  k.image = std::move(image);
  k.unicode = std::move(unicode);
}

void SetKnownSize(const std::string& path, std::size_t size) {
  KnownFiles& f = Files();
  std::lock_guard<std::mutex> hold(f.lock);
  f.byPath[Folded(path)].size = size;
}

void KeepSteadyRead(const std::string& path, std::shared_ptr<const IniImage> image, const platform::FileStamp& stamp) {
  KnownFiles& f = Files();
  std::lock_guard<std::mutex> hold(f.lock);
  Known& k = f.byPath[Folded(path)];
  k.steady = std::move(image);
  k.steadyStamp = stamp;
}

// How long a writer waits for a file that another program is saving to
// stand still (within its budget), how often it looks, and how long it
// goes on reading the file anew when it changed, or was held open, before
// its copy could take its place.
constexpr std::uint32_t kSteadyWithinMs = 1000;
constexpr std::uint32_t kLookAgainMs = 20;
// A file found shorter than it was is taken only once it has stood still
// this long: an editor that saves in several writes may be held up between
// them on a busy machine.
constexpr std::uint32_t kShorterStandsMs = 200;
constexpr std::uint32_t kWriteWithinMs = 2000;
constexpr std::string_view kWriteLockUse = "-write";

// A pause while another program saves or holds a file, off the budget.
void PauseForOtherProgram() {
  const platform::FolderLock::OthersHoldUp waiting;
  platform::Pause(kLookAgainMs);
  OtherProcessWait::Spend(kLookAgainMs);
}

// A file as a writer read it: the bytes, parsed, and the state they were
// read in through the handle it keeps until its copy is in place.
struct FileRead {
  std::unique_ptr<platform::OpenedFile> file;  // none: no file was there
  std::shared_ptr<const IniImage> image;
  std::optional<std::string> own;  // the bytes, when they were not the image's text before they were read
  platform::FileState state;
  std::optional<std::string> target;  // where a symbolic link leads
  bool steady = true;  // read as SteadyRead reads: a write may start from it
  std::shared_ptr<const UnicodeFile> unicode;  // of a file of Unicode text, with its bytes
  const std::string& bytes() const { return unicode ? unicode->bytes : own ? *own : image->text(); }
};

// A file's image, with the bytes of a file of Unicode text it was read of.
struct Parsed {
  std::shared_ptr<const IniImage> image;
  std::shared_ptr<const UnicodeFile> unicode;
};
// `keepBytes`: of a file of Unicode text (see ReadFileText), for a write.
Parsed ParsedOf(const std::string& path, std::string bytes, bool keepBytes);

// The data folders whose lock this thread holds (one entry for each
// DataFolderLock that holds it), and what it read of their files meanwhile,
// by path (ASCII letters folded): no other writer of the plug-in changes
// them then. A read keeps its file open: a write of this thread that
// follows takes it and starts from it, checked as any read is just before
// the copy takes the file's place, and the file is read anew after. Made
// with the thread's first lock, gone with its last; what was read in a
// folder goes when its lock does.
struct HeldFolders {
  std::vector<std::string> folders;
  std::map<std::string, FileRead> reads;  // none read yet: no image
  std::set<std::string> toWrite;  // files whose reads are opened for writing too (DataFolderLock::WillWrite)
};
const platform::ThreadPointer<HeldFolders>& HeldByThread() {
  static const platform::ThreadPointer<HeldFolders> held;
  return held;
}

// What this thread read of the file with its folder's lock held, as the
// slot to keep it in; none when the lock is not held.
FileRead* ReadUnderLock(const std::string& path) {
  HeldFolders* const thread = HeldByThread().get();
  if (!thread) return nullptr;
  const std::vector<std::string>& held = thread->folders;
  if (std::find(held.begin(), held.end(), FolderOf(path)) == held.end()) return nullptr;
  return &thread->reads[Folded(path)];
}

// A write of this thread is coming: what it read of the file goes, or is
// taken by the write.
std::optional<FileRead> TakeReadUnderLock(const std::string& path) {
  HeldFolders* const thread = HeldByThread().get();
  if (!thread) return std::nullopt;
  const auto it = thread->reads.find(Folded(path));
  if (it == thread->reads.end()) return std::nullopt;
  std::optional<FileRead> read;
  if (it->second.image && it->second.steady) read = std::move(it->second);
  thread->reads.erase(it);
  return read;
}
void ForgetReadUnderLock(const std::string& path) { TakeReadUnderLock(path); }

// The lock of `folder` ended on this thread, which may hold it still.
void LetGoOfFolder(HeldFolders& thread, const std::string& folder) {
  std::vector<std::string>& held = thread.folders;
  held.pop_back();  // locks end in the order opposite to their start
  if (std::find(held.begin(), held.end(), folder) != held.end()) return;
  const std::string folded = Folded(folder);
  std::erase_if(thread.reads, [&](const auto& read) { return FolderOf(read.first) == folded; });
  std::erase_if(thread.toWrite, [&](const std::string& file) { return FolderOf(file) == folded; });
}

// Whether a read of the file under its folder's lock is opened for writing too.
bool ReadForWriting(const std::string& path) {
  const HeldFolders* const thread = HeldByThread().get();
  return thread && thread->toWrite.contains(Folded(path));
}

// Whether the name still leads to the file in the state read.
bool NamedAsRead(const std::string& path, const platform::FileState& state) {
  const platform::FileStamp now = platform::StampOf(path);
  return now.exists && now.size == state.size && now.writeTime == state.writeTime;
}

// The file once it stands still: read through one handle with the same
// state before and after, which its name still leads to. A file shorter
// than it was last found must stand still a while, in case another
// program is still writing it; one found empty where it was not must stay
// so for a while (a save in place empties the file first); one another
// writer put in its place meanwhile is read at once. None when it cannot
// be read, or does not stand still in time, within the budget (or, without
// `mayWait`, at once).
std::optional<FileRead> SteadyRead(const std::string& path, std::uint32_t start, bool mayWait = true,
                                   bool forWriting = false) {
  const std::uint32_t within = std::min(kSteadyWithinMs, OtherProcessWait::Left());
  for (;;) {
    // With `forWriting`, a file that cannot be opened for writing too
    // (read-only, or held by a program that lets others only read) is not
    // read here: the read under the lock then reads it as outside it.
    FileRead read{std::make_unique<platform::OpenedFile>(path, forWriting), {}, {}, {}, {}};
    if (!read.file->opened()) {
      if (!platform::FileExists(path)) {
        read.file.reset();
        read.image = ParsedImageOf(path, "");
        return read;
      }
      // Held by a program that shares nothing for a moment (a scanner, a
      // backup): looked at again while the budget lasts.
      if (forWriting || !mayWait || platform::TickCount() - start >= within) return std::nullopt;
      PauseForOtherProgram();
      continue;
    }
    if (otherProgramAt) otherProgramAt(WriteStep::Opened);
    const std::optional<platform::FileState> before = read.file->State();
    // The bytes the image parsed of the file last holds are compared with
    // the file's a block at a time; others are read.
    const Known known = KnownOf(path);
    const std::string* const knownBytes = known.Bytes();
    const bool asKnown = before && knownBytes && knownBytes->size() == before->size && read.file->Holds(*knownBytes);
    if (!asKnown) read.own = read.file->ReadAll();
    if (otherProgramAt) otherProgramAt(WriteStep::BytesRead);
    const std::optional<platform::FileState> after = read.file->State();
    if (!before || !(asKnown || read.own) || !after) return std::nullopt;
    const std::size_t size = asKnown ? knownBytes->size() : read.own->size();
    const bool late = platform::TickCount() - start >= within;
    const bool still = *before == *after && after->size == size, named = still && NamedAsRead(path, *after);
    // Another writer put a file in its place meanwhile: that one is read at
    // once, by a reader that may wait, while its budget lasts.
    if (still && !named && mayWait && !late) continue;
    if (named) {
      const bool shorter = known.size && size < *known.size;
      // Within what the caller may wait on other programs (a message very
      // little), one look at the least.
      const std::uint32_t stand = shorter && mayWait ? std::clamp(OtherProcessWait::Left(), kLookAgainMs, kShorterStandsMs) : 0;
      bool stays = true;
      std::uint32_t waited = 0;
      for (; stays && waited < stand; waited += kLookAgainMs) {
        {
          const platform::FolderLock::OthersHoldUp waiting;
          platform::Pause(kLookAgainMs);
        }
        stays = read.file->State() == after;
      }
      OtherProcessWait::Spend(waited);
      if (stays && (mayWait ? size != 0 || !shorter || late : !shorter)) {
        Parsed parsed = asKnown ? Parsed{known.image, known.unicode} : ParsedOf(path, *read.own, true);
        read.image = std::move(parsed.image);
        read.unicode = std::move(parsed.unicode);
        if (read.unicode) read.own.reset();  // the bytes are held there
        read.state = *after;
        SetKnownSize(path, size);
        KeepSteadyRead(path, read.image, {true, read.state.writeTime, read.state.size});
        return read;
      }
      if (late || !mayWait) return std::nullopt;
      if (!stays) continue;
    } else if (late || !mayWait) {
      return std::nullopt;
    }
    PauseForOtherProgram();
  }
}

// Whether the file is still as read: the same state through the handle, its
// name leading to it, the same bytes.
bool StillAsRead(const FileRead& read, const std::string& where) {
  if (!read.file) return !platform::FileExists(where);
  return read.file->State() == read.state && NamedAsRead(where, read.state) && read.file->Holds(read.bytes());
}

enum class Put { Done, Failed, Changed, HeldUp };

// The checked bytes written in the file itself, through a handle by which
// alone it can be written meanwhile, once the file is checked through that
// handle to be as read: no other program's save can come in between the
// check and the write. A file that another program has open for writing
// (or shares nothing) holds it up. `cut`: the bytes are the file's first
// ones, and cutting it there is one step of the file system that leaves
// either the whole file or the part kept, so no crash can tear it; a file
// written over is flushed, and put back as it was when that fails.
Put InPlace(const std::string& path, FileRead& read, const std::string& written, bool cut) {
  read.file.reset();  // this thread's own handle may write, and would keep the sole writer out
  platform::OpenedFile writer(path, platform::OpenedFile::SoleWriter{});
  if (!writer.opened()) return platform::FileExists(path) ? Put::HeldUp : Put::Changed;
  if (writer.State() != read.state || !NamedAsRead(path, read.state) || !writer.Holds(read.bytes())) {
    return Put::Changed;
  }
  if (otherProgramAt) otherProgramAt(WriteStep::LastChecked);
  const bool done = cut ? writer.CutAt(written.size()) : writer.Overwrite(written);
  if (!done && !cut) writer.Overwrite(read.bytes());
  return done ? Put::Done : Put::Failed;
}

// The checked bytes as the file: a copy beside the file the name leads to,
// on the disk, takes its place once the file is checked to be as it was
// read. Bytes that only take the end of the file away are made by cutting
// the file in place, and a file of more than one name is written in place
// (after the copy, so that the disk is known to hold it); so is a file that
// anyone writes (`writers`) when another program holds it open, sharing
// its writes, so that its copy cannot take its place (a viewer, a sync
// tool that keeps SAVE open): the times go in while it stays open.
Put PutChecked(const std::string& path, FileRead& read, const std::string& written, Writers writers) {
  const bool byItsEnd = read.file && written.size() < read.bytes().size() && read.bytes().starts_with(written);
  if (byItsEnd && read.state.links <= 1) {
    return InPlace(path, read, written, /*cut=*/true);
  }
  // Where a link leads is looked up only for a copy, which is put beside
  // the file itself.
  if (read.file) read.target = read.file->LinkTarget(path);
  const std::string& where = read.target ? *read.target : path;
  platform::FileCopy copy(platform::ScratchNameFor(where, kIniCopy), written);
  if (!copy.written()) return Put::Failed;
  if (read.file && read.state.links > 1) return InPlace(where, read, written, /*cut=*/false);
  if (!StillAsRead(read, where)) return Put::Changed;
  if (otherProgramAt) otherProgramAt(WriteStep::LastChecked);
  // Another program that has the file open may be saving it: the file is
  // read again rather than replaced once it lets go.
  const bool existed = read.file != nullptr;
  read.file.reset();
  const platform::MoveResult moved = copy.PutOnce(where, existed);
  if (moved == platform::MoveResult::HeldUp) {
    return writers == Writers::Anyone ? InPlace(where, read, written, /*cut=*/false) : Put::HeldUp;
  }
  if (moved == platform::MoveResult::Done) return Put::Done;
  return !existed && platform::FileExists(where) ? Put::Changed : Put::Failed;
}

}  // namespace

ZOQ_HOT OtherProcessWait::OtherProcessWait(std::uint32_t totalMs) : left_(totalMs), outer_(Waits().get()) {
  Waits().set(this);
}

ZOQ_HOT OtherProcessWait::~OtherProcessWait() { Waits().set(outer_); }

std::uint32_t OtherProcessWait::Left() {
  const OtherProcessWait* const wait = Waits().get();
  return wait ? wait->left_ : kCommandFolderWaitMs;
}

void OtherProcessWait::Spend(std::uint32_t ms) {
  if (OtherProcessWait* const wait = Waits().get()) wait->left_ -= std::min(wait->left_, ms);
}

DataFolderLock::DataFolderLock(const std::string& path)
    : folder_(LookedAtFolderOf(path)), lock_(folder_, OtherProcessWait::Left(), kDataFolderWaitMs) {
  OtherProcessWait::Spend(lock_.othersWaitedMs());
  Held();
}

DataFolderLock::DataFolderLock(const std::string& path, OnlyIfFree)
    : folder_(LookedAtFolderOf(path)), lock_(folder_, 0, 0) {
  Held();
}

FolderWriteLock::FolderWriteLock(const std::string& path)
    : lock_(FolderOf(path), kWriteLockUse, OtherProcessWait::Left(), kDataFolderWaitMs) {
  OtherProcessWait::Spend(lock_.othersWaitedMs());
}

void DataFolderLock::WillWrite(const std::string& file) const {
  HeldFolders* const thread = HeldByThread().get();
  if (lock_.held() && thread) thread->toWrite.insert(Folded(file));
}

void DataFolderLock::Held() {
  if (!lock_.held()) return;
  HeldFolders* thread = HeldByThread().get();
  if (!thread) HeldByThread().set(thread = new HeldFolders);
  thread->folders.push_back(folder_);
}

DataFolderLock::~DataFolderLock() {
  HeldFolders* const thread = HeldByThread().get();
  if (!lock_.held() || !thread) return;
  LetGoOfFolder(*thread, folder_);
  if (!thread->folders.empty()) return;
  HeldByThread().set(nullptr);
  delete thread;
}

void RemoveCopiesLeftBehind(const std::string& path) { LookForCopiesLeftBehind(FolderOf(path), true); }

namespace {

// The last value each change sets reads back as set: from the first section
// of its name, before the changed run of the original (`image`), in it (`is`,
// the run as written) or after it.
bool ValuesReadBack(const IniImage& image, const IniImage& is, const ChangedRun& run, bool whole,
                    const std::vector<IniChange>& changes) {
  const IniText kind = is.kind();
  for (auto c = changes.rbegin(); c != changes.rend(); ++c) {
    if (!c->key || !c->value) continue;
    bool later = false;
    for (auto d = changes.rbegin(); d != c; ++d) {
      later = later ||
              (SameIniName(d->section, c->section, kind) && (!d->key || SameIniName(*d->key, *c->key, kind)));
    }
    if (later) continue;
    const std::optional<std::size_t> at = image.HeaderAt(c->section);
    const bool before = !whole && at && *at < run.from, inRun = whole || is.HeaderAt(c->section).has_value();
    // A section of the name in the run of the original and none in the copy's.
    if (!before && !inRun && at && *at < run.beforeTo) return false;
    const IniImage& from = before || !inRun ? image : is;
    if (from.Value(c->section, *c->key, kWholeIniValue) !=
        Written(*c, kind).Value(c->section, *c->key, kWholeIniValue)) {
      return false;
    }
  }
  return true;
}

// The file's bytes with the changes made: a file of the code page's where
// the INI functions make them, one of Unicode text's as its form makes them
// (core/files/text_forms.hpp).
struct Made {
  std::string bytes;                     // of a file of the code page
  std::optional<UnicodeChange> unicode;  // of one of Unicode text: its file holds the bytes
  const std::string& written() const { return unicode ? unicode->file->bytes : bytes; }
};

std::optional<Made> Changed(const IniImage& image, const std::string& bytes, const UnicodeFile* unicode,
                            const std::vector<IniChange>& changes) {
  if (!unicode) return Made{WithIniChanges(image, bytes, changes), std::nullopt};
  std::optional<UnicodeChange> change = ChangedUnicodeFile(image, *unicode, changes);
  if (!change) return std::nullopt;
  return Made{{}, std::move(change)};
}

// What the check of a changed text of the code page found: the run of
// sections it looked at line by line, and the image of the whole text when
// it parsed that.
struct Checked {
  ChangedRun run;
  std::optional<IniImage> whole;
};

// The check of a change of a file of the code page, without the image of
// a run's text.
std::optional<Checked> CodePageCheck(const IniImage& image, const std::string& original, const std::string& written,
                                     const std::vector<IniChange>& changes) {
  // Bytes that would read as Unicode text (UTF-8 by chance) are not made.
  if (FormOf(written) != TextForm::CodePage) return std::nullopt;
  // Only the sections where the bytes differ are looked at line by line:
  // every byte outside them is the original's, read the same way.
  const bool asHeld = image.HoldsText(original);
  const ChangedRun run = asHeld ? ChangedSections(original, written) : ChangedRun{0, original.size(), written.size()};
  const bool whole = run.from == 0 && run.beforeTo == original.size() && run.afterTo == written.size();
  IniImage was;
  if (!whole) was = ImageOfText(original.substr(run.from, run.beforeTo - run.from));
  IniImage is = ImageOfText(whole ? written : written.substr(run.from, run.afterTo - run.from));
  if (!LinesMadeWhole(whole ? image : was, is, changes) || !ValuesReadBack(image, is, run, whole, changes)) {
    return std::nullopt;
  }
  if (whole) return Checked{run, std::move(is)};
  return Checked{run, std::nullopt};
}

// The check of a change of a file of Unicode text (`image`: the file as
// read): the run's text before is the run of the image's text, every byte
// outside it is the file's (after a mark put before them), the run's bytes
// turn into its text exactly, the bytes are judged of the form meant, and
// the run's lines are checked as those of the code page are, in the text
// they were changed in (a character the code page lacks, which a window's
// text may hold, reads back as set there).
bool UnicodeChangeMadeWhole(const IniImage& image, const UnicodeChange& c, const std::string& original,
                            const std::vector<IniChange>& changes) {
  const std::string& written = c.file->bytes;
  const std::size_t from = c.markAdded + c.bytesFrom;
  if (written.compare(c.markAdded, c.bytesFrom, original, 0, c.bytesFrom) != 0 ||
      written.compare(c.writtenTo, std::string::npos, original, c.bytesTo, std::string::npos) != 0 ||
      JudgedForm(*c.file) != c.file->form ||
      TextToChange(c.file->form, std::string_view(written).substr(from, c.writtenTo - from)) != c.after) {
    return false;
  }
  const IniImage was = ImageOfText(c.before, IniText::Unicode), is = ImageOfText(c.after, IniText::Unicode);
  return std::string_view(image.text()).substr(c.from, c.to - c.from) == was.text() && LinesMadeWhole(was, is, changes) &&
         ValuesReadBack(was, is, {0, c.before.size(), c.after.size()}, true, changes);
}

std::optional<Checked> Check(const IniImage& image, const std::string& original, const Made& made,
                             const std::vector<IniChange>& changes) {
  if (!made.unicode) return CodePageCheck(image, original, made.bytes, changes);
  if (!UnicodeChangeMadeWhole(image, *made.unicode, original, changes)) return std::nullopt;
  return Checked{{}, std::nullopt};
}

// The image of the file written, which passed the check, with the bytes of
// a file of Unicode text it holds.
Parsed ImageAfter(const IniImage& image, Made made, Checked checked) {
  if (const std::optional<UnicodeChange>& c = made.unicode) {
    if (c->file->form == TextForm::CodePage) {  // ASCII alone now: its own text
      return {std::make_shared<const IniImage>(ImageOfText(c->file->bytes)), nullptr};
    }
    const std::string& held = image.text();
    std::string text = TextOfRoom(held.size() - (c->to - c->from) + c->held.size());
    text.append(held, 0, c->from).append(c->held).append(held, c->to);
    return {std::make_shared<const IniImage>(image.Spliced(std::move(text), c->from, c->to, c->from + c->held.size())),
            c->file};
  }
  if (checked.whole) return {std::make_shared<const IniImage>(std::move(*checked.whole)), nullptr};
  return {std::make_shared<const IniImage>(
              image.Spliced(std::move(made.bytes), checked.run.from, checked.run.beforeTo, checked.run.afterTo)),
          nullptr};
}

Parsed ParsedOf(const std::string& path, std::string bytes, bool keepBytes) {
  KnownFiles& f = Files();
  const std::string key = Folded(path);
  {
    std::lock_guard<std::mutex> hold(f.lock);
    Known& k = f.byPath[key];
    k.size = std::max(k.size.value_or(0), bytes.size());
    const std::string* const known = k.Bytes();
    if (known && *known == bytes) return {k.image, k.unicode};
  }
  FileText read = ReadFileText(std::move(bytes), keepBytes);
  auto image = std::make_shared<IniImage>();
  image->Load(std::move(read.text), read.unicode ? IniText::Unicode : IniText::CodePage, read.unicode != nullptr);
  KeepImage(path, image, read.unicode);
  return {std::move(image), std::move(read.unicode)};
}

}  // namespace

bool IniChangesMadeWhole(const std::string& original, const std::string& written,
                         const std::vector<IniChange>& changes) {
  return IniChangesMadeWhole(ImageOf(original), original, written, changes);
}

bool IniChangesMadeWhole(const IniImage& image, const std::string& original, const std::string& written,
                         const std::vector<IniChange>& changes) {
  return CheckedImage(image, original, written, changes).has_value();
}

std::optional<IniImage> CheckedImage(const IniImage& image, const std::string& original, const std::string& written,
                                     const std::vector<IniChange>& changes) {
  // A file of Unicode text: the change of its whole text.
  FileText was = ReadFileText(original);
  if (was.unicode) {
    std::optional<UnicodeChange> c = UnicodeChangeBetween(*was.unicode, written);
    const IniImage read = ImageOfText(std::move(was.text), IniText::Unicode);
    if (c) c->to = read.text().size();
    if (!c || !UnicodeChangeMadeWhole(read, *c, original, changes)) return std::nullopt;
    return ImageOf(written);
  }
  std::optional<Checked> checked = CodePageCheck(image, original, written, changes);
  if (!checked) return std::nullopt;
  return *ImageAfter(image, Made{written, std::nullopt}, std::move(*checked)).image;
}

std::shared_ptr<const IniImage> ParsedImageOf(const std::string& path, std::string bytes) {
  return ParsedOf(path, std::move(bytes), /*keepBytes=*/false).image;
}

bool WriteIniChanges(const std::string& file, const std::vector<IniChange>& changes) {
  if (changes.empty()) return true;
  return UpdateIniFile(file, [&](const IniImage&, bool) { return changes; }) == Update::Written;
}

Update UpdateIniFile(const std::string& file, const IniDecision& decide, Writers writers) {
  std::optional<DataFolderLock> lock;
  if (writers == Writers::LockHolders) lock.emplace(file);
  std::optional<FileRead> kept = TakeReadUnderLock(file);
  if ((lock && !lock->held()) || platform::FolderExists(file)) return Update::NotWritten;
  std::optional<FolderWriteLock> writing;
  if (writers == Writers::Anyone) writing.emplace(file);
  // Another writer that came first is followed at once, for as long as the
  // caller may wait on other programs (a message very little): one that
  // saves the file again and again holds up no message past that.
  const std::uint32_t within = std::clamp(OtherProcessWait::Left(), kLookAgainMs, kWriteWithinMs);
  const std::uint32_t start = platform::TickCount();
  for (std::uint32_t tried = start; tried - start < within; tried = platform::TickCount()) {
    std::optional<FileRead> read = kept ? std::move(kept) : SteadyRead(file, tried);
    kept.reset();
    if (!read) return Update::NotWritten;  // never a part taken for the whole file
    if (otherProgramAt) otherProgramAt(WriteStep::FileRead);
    const IniImage& image = *read->image;
    const std::optional<std::vector<IniChange>> changes = decide(image, read->file != nullptr);
    if (!changes) return Update::Declined;
    std::optional<Made> made = Changed(image, read->bytes(), read->unicode.get(), *changes);
    std::optional<Checked> checked;
    if (!made || !(checked = Check(image, read->bytes(), *made, *changes))) return Update::NotWritten;
    const std::string& written = made->written();
    // Nothing changes: nothing is written, a read-only file too.
    if (written == read->bytes()) return Update::Written;
    if (platform::IsReadOnlyFile(file)) return Update::NotWritten;
    const Put put = PutChecked(file, *read, written, writers);
    if (put == Put::Done) {
      const std::size_t size = written.size();
      CountWrite(file);
      SetKnownSize(file, size);
      const Parsed after = ImageAfter(image, std::move(*made), std::move(*checked));
      KeepImage(file, after.image, after.unicode);
      // What was just written is the file as last read while no one changed
      // it since (the write lock keeps this system's other writers out): a
      // reader that cannot open it then, or need not, goes by it.
      const platform::FileStamp now = platform::StampOf(file);
      if (now.exists && now.size == size) KeepSteadyRead(file, after.image, now);
      return Update::Written;
    }
    if (put == Put::Failed) return Update::NotWritten;
    // Held open by another program: looked at again while the budget lasts.
    if (put == Put::HeldUp) {
      if (OtherProcessWait::Left() == 0) return Update::NotWritten;
      PauseForOtherProgram();
    }
  }
  return Update::NotWritten;
}

namespace {

// The file's image as it is now; none when it is there and cannot be read
// (one that is not there reads as empty: it is looked for only then).
std::optional<std::shared_ptr<const IniImage>> ImageNow(const std::string& file) {
  std::optional<std::string> bytes = platform::ReadWholeFileIfPossible(file);
  if (!bytes && !platform::FileExists(file)) bytes.emplace();
  if (!bytes) return std::nullopt;
  return ParsedImageOf(file, std::move(*bytes));
}

}  // namespace

std::shared_ptr<const IniImage> IniImageIfUnchanged(const std::string& file) {
  const platform::FileStamp now = platform::StampOf(file);
  const Known known = KnownOf(file);
  return now.exists && known.steadyStamp == now ? known.steady : nullptr;
}

std::shared_ptr<const IniImage> SteadyIniImage(const std::string& file) {
  if (std::optional<FileRead> read = SteadyRead(file, platform::TickCount())) return read->image;
  return IniImageIfUnchanged(file);
}

std::shared_ptr<const IniImage> ReadIniFileNow(const std::string& file) {
  return ImageNow(file).value_or(std::make_shared<const IniImage>());
}

std::string ReadIniItemNow(const std::string& file, const std::string& section, const std::string& key,
                           const std::string& defaultValue, std::size_t buffer) {
  return ReadIniItemIfReadable(file, section, key, defaultValue, buffer).value_or(defaultValue);
}

std::optional<std::string> ReadIniItemIfReadable(const std::string& file, const std::string& section,
                                                 const std::string& key, const std::string& defaultValue,
                                                 std::size_t buffer) {
  if (BlankIniName(file) || BlankIniName(section) || BlankIniName(key)) return std::string();
  FileRead* kept = ReadUnderLock(file);
  if (!kept) {
    std::optional<std::shared_ptr<const IniImage>> image = ImageNow(file);
    if (!image) return std::nullopt;
    return (*image)->Value(section, key, buffer).value_or(defaultValue);
  }
  if (!kept->image) {
    // A file that another program is saving (one that has just shrunk, as
    // a save in place empties it first) is read once it stands still, as a
    // write reads it, within the budget; past that it is read as outside the
    // lock, and a write reads it again.
    std::optional<FileRead> read = SteadyRead(file, platform::TickCount(), /*mayWait=*/true, ReadForWriting(file));
    if (!read) {
      std::optional<std::shared_ptr<const IniImage>> image = ImageNow(file);
      if (!image) return std::nullopt;
      read.emplace(FileRead{nullptr, std::move(*image), {}, {}, {}, /*steady=*/false});
    }
    *kept = std::move(*read);
  }
  return kept->image->Value(section, key, buffer).value_or(defaultValue);
}

std::string IniValueAsRead(const std::string& key, const std::string& value) {
  return Written({"admin", key, value}).Value("admin", key).value_or(std::string());
}

bool ReadsBackAsSet(const IniChange& change) {
  return Written(change).Value(change.section, *change.key, kWholeIniValue) == change.value;
}

bool ReplaceWholeFile(const std::string& path, const std::string& bytes, bool onlyIfMissing) {
  DataFolderLock lock(path);
  ForgetReadUnderLock(path);
  if (!lock.held() || (onlyIfMissing && platform::FileExists(path))) return false;
  return PutInPlace(path, bytes, !onlyIfMissing, kWholeCopy);
}

std::uint64_t WritesOf(const std::string& path) {
  WriteCounts& w = Writes();
  const std::string key = Folded(path);
  std::lock_guard<std::mutex> hold(w.lock);
  const auto it = w.byPath.find(key);
  return it == w.byPath.end() ? 0 : it->second;
}

ZOQ_HOT std::uint64_t AllWrites() { return Writes().all.load(); }

bool RemoveDataFile(const std::string& path, Writers writers) {
  std::optional<DataFolderLock> lock;
  if (writers == Writers::LockHolders) lock.emplace(path);
  ForgetReadUnderLock(path);
  if (lock && !lock->held()) return false;
  std::optional<FolderWriteLock> writing;
  if (writers == Writers::Anyone) writing.emplace(path);
  const bool deleted = platform::RemoveFileNoOneHasOpen(path);
  if (deleted) CountWrite(path);
  return deleted && !platform::FileExists(path);
}

}  // namespace zoq
