#include "core/libraries.hpp"

#include <algorithm>
#include <bit>

#include "core/file_writes.hpp"
#include "core/ini_items.hpp"
#include "core/settings.hpp"
#include "platform/clock.hpp"
#include "platform/code_pages.hpp"
#include "text/text.hpp"

namespace zoq {
namespace {

// The length of the character at `pos`: a lead byte takes the next byte
// with it, whatever it is (as the code page conversion does).
std::size_t CharAt(std::string_view s, std::size_t pos) { return text::CharLength(s, pos); }

// How long a library's stamps are taken as they were last looked at.
constexpr std::uint64_t kStampInterval = 50;

}  // namespace

std::string StoredKeywordForm(std::string_view keyword) {
  if (keyword.find_first_of("[]") == std::string_view::npos) return std::string(keyword);
  return text::ReplaceAll(text::ReplaceAll(keyword, "[", "&uoS8#"), "]", "&uoS9#");
}

std::string PlainKeywordForm(std::string_view stored) {
  if (stored.find("&uoS") == std::string_view::npos) return std::string(stored);
  return text::ReplaceAll(text::ReplaceAll(stored, "&uoS8#", "["), "&uoS9#", "]");
}

// ---- FuzzyMatcher --------------------------------------------------------

namespace {

constexpr std::uint16_t kSymbol = 0x1FF;
constexpr std::uint16_t kCharacterBegins = 0x100;
constexpr std::uint16_t kNextIsChild = 0x200;  // state + 1 is a child
constexpr std::uint16_t kBranches = 0x400;     // it has children in the branch table
constexpr std::uint16_t kFinds = 0x800;        // a keyword is found on reaching it
constexpr std::uint32_t kNone = ~0u;
constexpr unsigned kBlockBits = 6;  // the branch table is indexed by blocks of 64 states

std::uint64_t BranchKey(std::uint32_t state, std::uint16_t symbol) { return std::uint64_t{state} << 9 | symbol; }

// Hands `take` the symbols of `text` as the matcher reads them: each byte,
// marked where a character begins, an ASCII capital of a one-byte
// character folded. Stops when `take` gives false.
template <typename Take>
void ForEachSymbol(std::string_view text, Take take) {
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t n = CharAt(text, pos);
    unsigned c = static_cast<unsigned char>(text[pos]);
    if (n == 1 && c >= 'A' && c <= 'Z') c += 32;
    if (!take(static_cast<std::uint16_t>(c | kCharacterBegins))) return;
    if (n == 2 && !take(static_cast<std::uint16_t>(static_cast<unsigned char>(text[pos + 1])))) return;
    pos += n;
  }
}

}  // namespace

std::uint32_t FuzzyMatcher::Child(std::uint32_t state, Symbol symbol) const {
  if (state == 0) return fromRoot_[symbol] ? fromRoot_[symbol] : kNone;
  const std::uint16_t e = edges_[state];
  if ((e & kNextIsChild) && (edges_[state + 1] & kSymbol) == symbol) return state + 1;
  if (!(e & kBranches)) return kNone;
  const auto first = branches_.begin() + branchBlocks_[state >> kBlockBits],
             last = branches_.begin() + branchBlocks_[(state >> kBlockBits) + 1];
  const auto it = std::lower_bound(first, last, BranchKey(state, symbol));
  return it != last && *it == BranchKey(state, symbol) ? branchTo_[it - branches_.begin()] : kNone;
}

std::uint32_t FuzzyMatcher::Fail(std::uint32_t state) const {
  const std::uint64_t word = failBits_[state >> 6], bit = std::uint64_t{1} << (state & 63);
  return word & bit ? failTo_[failRanks_[state >> 6] + std::popcount(word & (bit - 1))] : 0;
}

std::uint32_t FuzzyMatcher::Next(std::uint32_t state, Symbol symbol) const {
  for (;;) {
    const std::uint32_t child = Child(state, symbol);
    if (child != kNone) return child;
    if (state == 0) return 0;
    state = Fail(state);
  }
}

std::uint32_t FuzzyMatcher::FirstFoundAt(std::uint32_t state) const {
  return firstFound_[std::lower_bound(finders_.begin(), finders_.end(), state) - finders_.begin()];
}

void FuzzyMatcher::Build(const std::vector<std::string>& keywords, Form form) {
  count_ = keywords.size();
  // Every keyword folded (capitals of one-byte characters), one after the
  // other; then taken in byte order, so that each shares with the one before
  // it all the states it shares with any.
  std::string folded;
  std::vector<std::uint32_t> begins, order(count_);
  std::size_t total = 0;
  for (const std::string& given : keywords) total += given.size();
  folded.reserve(total);
  begins.reserve(count_ + 1);
  for (const std::string& given : keywords) {
    begins.push_back(static_cast<std::uint32_t>(folded.size()));
    const std::string plain =
        form == Form::Plain && given.find("&uoS") != std::string::npos ? PlainKeywordForm(given) : std::string();
    ForEachSymbol(plain.empty() ? std::string_view(given) : std::string_view(plain), [&](Symbol symbol) {
      folded += static_cast<char>(symbol & 0xFF);
      return true;
    });
  }
  begins.push_back(static_cast<std::uint32_t>(folded.size()));
  std::vector<std::string_view> views(count_);
  std::vector<std::pair<std::uint64_t, std::uint32_t>> keyed(count_);  // the first eight bytes, and the keyword
  for (std::uint32_t i = 0; i < count_; ++i) {
    views[i] = std::string_view(folded).substr(begins[i], begins[i + 1] - begins[i]);
    std::uint64_t head = 0;
    for (std::size_t b = 0; b < 8; ++b) head = head << 8 | (b < views[i].size() ? static_cast<unsigned char>(views[i][b]) : 0);
    keyed[i] = {head, i};
  }
  std::vector<std::uint32_t>().swap(begins);
  std::sort(keyed.begin(), keyed.end(), [&](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first < b.first;
    const int c = views[a.second].compare(views[b.second]);
    return c < 0 || (c == 0 && a.second < b.second);
  });
  for (std::uint32_t i = 0; i < count_; ++i) order[i] = keyed[i].second;
  std::vector<std::pair<std::uint64_t, std::uint32_t>>().swap(keyed);

  edges_.assign(1, 0);
  edges_.reserve(folded.size() + 1);
  fromRoot_.assign(kSymbol + 1, 0);
  std::vector<std::pair<std::uint64_t, std::uint32_t>> branches;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> ends;  // (state, keyword)
  ends.reserve(count_);
  std::vector<std::uint32_t> path{0};  // the states along the keyword before
  std::string_view before;
  for (const std::uint32_t i : order) {
    const std::string_view k = views[i];
    if (k.empty()) continue;  // an empty keyword is found nowhere
    std::size_t shared = 0;
    while (shared < k.size() && shared < before.size() && k[shared] == before[shared]) ++shared;
    path.resize(shared + 1);
    std::uint32_t state = path.back();
    for (std::size_t pos = 0, next = 0; pos < k.size(); ++pos) {
      const bool character = pos == next;
      if (character) next += CharAt(k, pos);
      if (pos < shared) continue;
      const Symbol symbol = static_cast<Symbol>(static_cast<unsigned char>(k[pos]) | (character ? kCharacterBegins : 0));
      const std::uint32_t child = static_cast<std::uint32_t>(edges_.size());
      edges_.push_back(symbol);
      if (state == 0) {
        fromRoot_[symbol] = child;
      } else if (state + 1 == child && !(edges_[state] & kNextIsChild)) {
        edges_[state] |= kNextIsChild;
      } else {
        branches.emplace_back(BranchKey(state, symbol), child);
        edges_[state] |= kBranches;
      }
      state = child;
      path.push_back(state);
    }
    ends.emplace_back(state, i);
    before = k;
  }
  std::sort(branches.begin(), branches.end());
  branches_.clear();
  branchTo_.clear();
  for (const auto& [key, to] : branches) {
    branches_.push_back(key);
    branchTo_.push_back(to);
  }
  std::vector<std::pair<std::uint64_t, std::uint32_t>>().swap(branches);
  std::string().swap(folded);
  branchBlocks_.assign((edges_.size() >> kBlockBits) + 2, 0);
  for (const std::uint64_t key : branches_) ++branchBlocks_[(key >> (9 + kBlockBits)) + 1];
  for (std::size_t b = 1; b < branchBlocks_.size(); ++b) branchBlocks_[b] += branchBlocks_[b - 1];
  // The fail links and what each state finds: a state finds its own keyword
  // and what the end of its fail link finds. A state's link needs the links
  // of shallower states only: the states are settled a depth at a time, and
  // along a keyword's own states as far as the links they need are settled
  // (most of a long keyword at once).
  const std::size_t states = edges_.size();
  std::vector<std::uint32_t> fail(states, kNone), first(states, kNone);
  for (const auto& [state, keyword] : ends) first[state] = std::min(first[state], keyword);
  fail[0] = 0;
  const auto settle = [&](std::uint32_t child, std::uint32_t from, Symbol symbol) {
    std::uint32_t to = 0;
    for (std::uint32_t s = from;; s = fail[s]) {
      if ((to = Child(s, symbol)) != kNone) break;
      if (s == 0) {
        to = 0;
        break;
      }
    }
    if (fail[to] == kNone) return false;  // not settled yet
    fail[child] = to;
    if (to != 0) first[child] = std::min(first[child], first[to]);
    return true;
  };
  std::vector<std::vector<std::uint32_t>> waiting(2);  // by depth: settled states whose children are not
  const auto goOn = [&](std::uint32_t x, std::size_t depth) {
    while ((edges_[x] & (kNextIsChild | kBranches)) == kNextIsChild && settle(x + 1, fail[x], edges_[x + 1] & kSymbol)) {
      ++x;
      ++depth;
    }
    if (!(edges_[x] & (kNextIsChild | kBranches))) return;
    if (waiting.size() <= depth) waiting.resize(depth + 1);
    waiting[depth].push_back(x);
  };
  for (std::uint32_t c : fromRoot_) {
    if (c == 0) continue;
    fail[c] = 0;
    goOn(c, 1);
  }
  for (std::size_t depth = 1; depth < waiting.size(); ++depth) {
    for (std::size_t i = 0; i < waiting[depth].size(); ++i) {
      const std::uint32_t s = waiting[depth][i];
      const auto visit = [&](Symbol symbol, std::uint32_t child) {
        settle(child, fail[s], symbol);  // the shallower states are all settled
        goOn(child, depth + 1);
      };
      if (edges_[s] & kNextIsChild) visit(edges_[s + 1] & kSymbol, s + 1);
      if (!(edges_[s] & kBranches)) continue;
      for (auto it = std::lower_bound(branches_.begin() + branchBlocks_[s >> kBlockBits],
                                      branches_.begin() + branchBlocks_[(s >> kBlockBits) + 1], BranchKey(s, 0));
           it != branches_.end() && (*it >> 9) == s; ++it) {
        visit(static_cast<Symbol>(*it & kSymbol), branchTo_[it - branches_.begin()]);
      }
    }
    std::vector<std::uint32_t>().swap(waiting[depth]);
  }
  // Kept where they say something: most fail links of long keywords lead
  // back to the root, and most states find nothing.
  failBits_.assign(states / 64 + 1, 0);
  failRanks_.assign(states / 64 + 1, 0);
  failTo_.clear();
  finders_.clear();
  firstFound_.clear();
  for (std::uint32_t s = 1; s < states; ++s) {
    if (fail[s] != 0) {
      failBits_[s >> 6] |= std::uint64_t{1} << (s & 63);
      failTo_.push_back(fail[s]);
    }
    if (first[s] == kNone) continue;
    edges_[s] |= kFinds;
    finders_.push_back(s);
    firstFound_.push_back(first[s]);
  }
  for (std::size_t w = 1; w < failRanks_.size(); ++w) failRanks_[w] = failRanks_[w - 1] + std::popcount(failBits_[w - 1]);
  for (auto* v : {&failTo_, &branchTo_, &branchBlocks_, &finders_, &firstFound_}) v->shrink_to_fit();
  edges_.shrink_to_fit();
  branches_.shrink_to_fit();
}

std::int32_t FuzzyMatcher::FirstIn(std::string_view text) const {
  if (edges_.size() <= 1) return -1;
  std::uint32_t state = 0, best = kNone;
  ForEachSymbol(text, [&](Symbol symbol) {
    state = Next(state, symbol);
    if (edges_[state] & kFinds) best = std::min(best, FirstFoundAt(state));
    return best != 0;
  });
  return best == kNone ? -1 : static_cast<std::int32_t>(best);
}

std::size_t FuzzyMatcher::MemoryBytes() const {
  return edges_.capacity() * sizeof(std::uint16_t) + branches_.capacity() * sizeof(std::uint64_t) +
         failBits_.capacity() * sizeof(std::uint64_t) +
         (failRanks_.capacity() + failTo_.capacity() + fromRoot_.capacity() + branchTo_.capacity() +
          branchBlocks_.capacity() + finders_.capacity() + firstFound_.capacity()) *
             sizeof(std::uint32_t);
}

// ---- KeywordLibraries ----------------------------------------------------

void KeywordLibraries::MarkStale(const Folder& folder) {
  for (Kept& k : kept_) k.stale = k.stale || k.folder == &folder;
}

void KeywordLibraries::Watch(Folder& folder) {
  folder.watch = std::make_unique<platform::FolderWatch>(folder.path);
  if (!folder.watch->watching()) {
    folder.watch.reset();
    return;
  }
  MarkStale(folder);
}

void KeywordLibraries::TakeChanges(Folder& folder) {
  if (!folder.watch) return;
  const platform::FolderWatch::Changes changes = folder.watch->Take();
  if (changes.gone) {
    // Whatever is at the path now is read again and watched at that read.
    folder.watch.reset();
    MarkStale(folder);
    return;
  }
  if (!changes.all && changes.names.empty()) return;
  for (Kept& k : kept_) {
    const std::string_view name = std::string_view(k.path).substr(k.nameAt);
    k.stale = k.stale || (k.folder == &folder &&
                          (changes.all || std::any_of(changes.names.begin(), changes.names.end(), [&](const auto& c) {
                             return text::EqualsIgnoreAsciiCase(c, name);
                           })));
  }
}

KeywordLibraries::Kept& KeywordLibraries::Current(const std::string& file) {
  auto it = std::find_if(kept_.begin(), kept_.end(), [&](const Kept& k) { return k.path == file; });
  if (it == kept_.end()) {
    const std::size_t cut = platform::LastPathSeparator(file);
    const std::string path = cut == std::string::npos ? std::string(".") : file.substr(0, cut);
    auto folder = std::find_if(folders_.begin(), folders_.end(), [&](const auto& f) { return f->path == path; });
    if (folder == folders_.end()) folder = folders_.insert(folders_.end(), std::make_unique<Folder>(Folder{path, nullptr}));
    kept_.push_back({.path = file,
                     .nameAt = cut == std::string::npos ? 0 : cut + 1,
                     .folder = folder->get(),
                     .image = std::make_shared<const IniImage>()});
    it = kept_.end() - 1;
  }
  TakeChanges(*it->folder);
  // The stamps at most once in a short while: the change reports tell at
  // once (and of what keeps the stamps), the stamps of what a report misses
  // or brings a moment late. This process's writes are counted.
  const std::uint64_t writes = WritesOf(file), at = platform::Milliseconds();
  if (!it->stale && writes == it->writes && at - it->lookedAt < kStampInterval) return *it;
  const platform::FileStamp now = platform::StampOf(file);
  it->lookedAt = at;
  if (!it->stale && now == it->stamp && writes == it->writes) return *it;
  // A folder that could not be watched (or went) is tried again at each
  // read: what the system reports from now on adds to the stamps.
  if (!it->folder->watch) Watch(*it->folder);
  std::optional<std::string> bytes = now.exists ? platform::ReadWholeFileIfPossible(file) : std::string();
  if (!bytes) return *it;  // kept as it was, and read again next time
  it->image = ParsedImageOf(file, *bytes);
  it->stamp = now;
  it->writes = writes;
  it->stale = false;
  return *it;
}

KeywordLibraries::KeywordLibraries() = default;
KeywordLibraries::~KeywordLibraries() = default;

std::shared_ptr<const IniImage> KeywordLibraries::Image(const std::string& file) {
  std::lock_guard<std::mutex> hold(lock_);
  return Current(file).image;
}

std::string KeywordLibraries::Reply(const std::string& file, const std::string& keyword) {
  return Image(file)->Value(keyword, kReplyKey).value_or(std::string());
}

std::vector<std::string> KeywordLibraries::SectionNames(const std::string& file) {
  return Image(file)->SectionNames();
}

void KeywordLibraries::Forget() {
  std::lock_guard<std::mutex> hold(lock_);
  kept_.clear();
  folders_.clear();
}

std::size_t KeywordLibraries::MemoryBytes() const {
  std::lock_guard<std::mutex> hold(lock_);
  std::size_t bytes = 0;
  for (const Kept& k : kept_) bytes += k.image->MemoryBytes() + k.path.capacity();
  return bytes;
}

}  // namespace zoq
