#include "core/libraries.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#include "core/files/file_writes.hpp"
#include "core/files/ini_items.hpp"
#include "platform/clock.hpp"
#include "platform/code_pages.hpp"
#include "text/text.hpp"

namespace zoq {
namespace {

// The length of the character at `pos`: a lead byte takes the next byte
// with it when that is a trail byte; before any other byte it is a symbol of
// its own, and so is the byte after it (as Windows reads the text: a "/"
// after it is a "/" to keywords and messages alike).
std::size_t CharAt(std::string_view s, std::size_t pos) { return text::CharLength(s, pos); }

// How long a library's stamps are taken as they were last looked at.
constexpr std::uint64_t kStampInterval = 50;

}  // namespace

ZOQ_HOT std::string StoredKeywordForm(std::string_view keyword) {
  // (Looked for byte by byte: a search for either of two bytes calls the
  // runtime once a byte.)
  if (std::none_of(keyword.begin(), keyword.end(), [](char c) { return c == '[' || c == ']'; })) {
    return std::string(keyword);
  }
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
constexpr std::uint16_t kWide = 0x1000;        // its other children are in a table of its own, by byte
constexpr std::uint16_t kUnsettled = 0x2000;   // while building: its fail link is not known yet
constexpr std::size_t kWideFrom = 64;          // so many other children make a state wide
constexpr std::uint32_t kNone = ~0u;
constexpr unsigned kBlockBits = 6;  // the branch table is indexed by blocks of 64 states

// A child in the branch table, as its parent's block of the table keeps
// it: the parent's place in the block, and the symbol.
std::uint16_t BranchKey(std::uint32_t state, std::uint16_t symbol) {
  return static_cast<std::uint16_t>((state & ((1u << kBlockBits) - 1)) << 9 | symbol);
}

// The first of the `n` sorted keys from `first` that is not below `key`.
// The halves are chosen without branches: which one a key lies in is not
// foreseeable.
const std::uint16_t* LowerBound(const std::uint16_t* first, std::size_t n, std::uint16_t key) {
  if (n == 0) return first;
  for (; n > 1; n -= n / 2) first = first[n / 2] < key ? first + n / 2 : first;
  return first + (*first < key);
}

std::vector<std::uint32_t> Reserved(std::size_t n) {
  std::vector<std::uint32_t> v;
  v.reserve(n);
  return v;
}

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

ZOQ_HOT std::uint32_t FuzzyMatcher::Child(std::uint32_t state, Symbol symbol) const {
  if (state == 0) return fromRoot_[symbol] ? fromRoot_[symbol] : kNone;
  const std::uint16_t e = edges_[state];
  if ((e & kNextIsChild) && (edges_[state + 1] & kSymbol) == symbol) return state + 1;
  if (!(e & kBranches)) return kNone;
  if (e & kWide) {
    // (Whether a child begins a character follows from its byte and the
    // state's own symbol: after a lead byte, a trail byte continues the
    // character and any other byte begins one. The byte is enough.)
    const std::uint32_t child = wideTo_[WideAt(state) + (symbol & 0xFF)];
    return child != 0 ? child : kNone;
  }
  const std::uint16_t key = BranchKey(state, symbol);
  const std::uint32_t first = branchBlocks_[state >> kBlockBits], last = branchBlocks_[(state >> kBlockBits) + 1];
  const std::uint16_t* it = LowerBound(branches_.data() + first, last - first, key);
  return it != branches_.data() + last && *it == key ? branchTo_[it - branches_.data()] : kNone;
}

std::size_t FuzzyMatcher::WideAt(std::uint32_t state) const {
  const auto bucket = wide_.begin() + wideStarts_[state >> wideShift_];
  return 256 * static_cast<std::size_t>(
                   std::lower_bound(bucket, wide_.begin() + wideStarts_[(state >> wideShift_) + 1], state) - wide_.begin());
}

ZOQ_HOT std::uint32_t FuzzyMatcher::Fail(std::uint32_t state) const {
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

ZOQ_HOT std::uint32_t FuzzyMatcher::FirstFoundAt(std::uint32_t state) const {
  return firstFound_[std::lower_bound(finders_.begin(), finders_.end(), state) - finders_.begin()];
}

namespace {

// Every keyword folded, one after the other, and where each begins (one
// more for the end).
struct FoldedKeywords {
  std::string bytes;
  std::vector<std::uint32_t> begins;
  std::string_view operator[](std::size_t i) const {
    return std::string_view(bytes).substr(begins[i], begins[i + 1] - begins[i]);
  }
};

FoldedKeywords Folded(const std::vector<std::string_view>& keywords, FuzzyMatcher::Form form) {
  FoldedKeywords f;
  std::size_t total = 0;
  for (const std::string_view given : keywords) total += given.size();
  f.bytes.resize(total);
  f.begins.resize(keywords.size() + 1);
  char* out = f.bytes.data();
  for (std::size_t i = 0; i < keywords.size(); ++i) {
    const std::string_view given = keywords[i];
    f.begins[i] = static_cast<std::uint32_t>(out - f.bytes.data());
    const std::string plain = form == FuzzyMatcher::Form::Plain && given.find("&uoS") != std::string_view::npos
                                  ? PlainKeywordForm(given)
                                  : std::string();
    ForEachSymbol(plain.empty() ? given : std::string_view(plain), [&](std::uint16_t symbol) {
      *out++ = static_cast<char>(symbol & 0xFF);
      return true;
    });
  }
  f.begins.back() = static_cast<std::uint32_t>(out - f.bytes.data());
  f.bytes.resize(f.begins.back());
  return f;
}

// A keyword in byte order: its first eight bytes (zeros after its end), its
// number, and how many bytes it shares with the keyword before it.
struct Sorted {
  std::uint64_t head;
  std::uint32_t keyword, shared;
};

// The keywords in byte order of their folded forms, equal ones in list
// order: by their first two bytes into buckets, each bucket sorted.
std::vector<Sorted> ByteOrder(const FoldedKeywords& k) {
  const std::size_t count = k.begins.size() - 1;
  const auto head = [&](std::uint32_t i) {
    const std::string_view v = k[i];
    std::uint64_t h = 0;
    if (v.size() >= 8) {
      std::memcpy(&h, v.data(), 8);
      return std::endian::native == std::endian::little ? __builtin_bswap64(h) : h;
    }
    for (std::size_t b = 0; b < v.size(); ++b) h |= std::uint64_t{static_cast<unsigned char>(v[b])} << (56 - 8 * b);
    return h;
  };
  // Bucket b ends at ends[b] (and begins where b - 1 ends).
  std::vector<std::uint32_t> ends(1u << 16, 0);
  for (std::uint32_t i = 0; i < count; ++i) ++ends[head(i) >> 48];
  for (std::size_t b = 1; b < ends.size(); ++b) ends[b] += ends[b - 1];
  std::vector<Sorted> sorted(count);
  for (std::uint32_t i = count; i-- > 0;) {
    const std::uint64_t h = head(i);
    sorted[--ends[h >> 48]] = {h, i, 0};
  }
  // (Now each bucket begins at ends[b].)
  const auto before = [&](const Sorted& a, const Sorted& b) {
    if (a.head != b.head) return a.head < b.head;
    const int c = k[a.keyword].compare(k[b.keyword]);
    return c < 0 || (c == 0 && a.keyword < b.keyword);
  };
  for (std::size_t b = 0; b < ends.size(); ++b) {
    const std::size_t last = b + 1 < ends.size() ? ends[b + 1] : count;
    if (last - ends[b] > 1) std::sort(sorted.begin() + ends[b], sorted.begin() + last, before);
  }
  for (std::size_t n = 1; n < count; ++n) {
    const std::string_view a = k[sorted[n - 1].keyword], b = k[sorted[n].keyword];
    const std::uint64_t differ = sorted[n - 1].head ^ sorted[n].head;
    std::size_t shared = differ ? static_cast<std::size_t>(std::countl_zero(differ)) / 8 : 8;
    if (!differ) {
      while (shared < a.size() && shared < b.size() && a[shared] == b[shared]) ++shared;
    }
    sorted[n].shared = static_cast<std::uint32_t>(std::min({shared, a.size(), b.size()}));
  }
  return sorted;
}

}  // namespace

void FuzzyMatcher::Build(const std::vector<std::string>& keywords, Form form) {
  Build(std::vector<std::string_view>(keywords.begin(), keywords.end()), form);
}

void FuzzyMatcher::Build(const std::vector<std::string_view>& keywords, Form form) {
  count_ = keywords.size();
  // Every keyword folded (capitals of one-byte characters); then taken in
  // byte order, so that each shares with the one before it all the states it
  // shares with any.
  const FoldedKeywords folded = Folded(keywords, form);
  const std::vector<Sorted> order = ByteOrder(folded);
  // A state for each byte a keyword does not share with the one before it
  // (an empty keyword is found nowhere), and the root; a keyword's end
  // unless it equals the one before it.
  std::size_t states = 1, longest = 0, ends = 0;
  for (const Sorted& e : order) {
    const std::size_t length = folded.begins[e.keyword + 1] - folded.begins[e.keyword];
    states += length - e.shared;
    ends += length != e.shared;
    longest = std::max(longest, length);
  }

  // Per state, while building: its fail link once settled.
  const std::unique_ptr<std::uint32_t[]> fail(new std::uint32_t[states]);
  fail[0] = 0;
  edges_ = std::vector<std::uint16_t>(states);
  // The keywords' ends come in order of state: finders_ as the trie is made.
  // Only a state that finds through its link needs the first keyword of
  // each state at hand: then it is made, per state.
  finders_ = Reserved(ends);
  firstFound_ = Reserved(ends);
  std::unique_ptr<std::uint32_t[]> first;
  const auto firstOfEach = [&] {
    first.reset(new std::uint32_t[states]);
    for (std::size_t f = 0; f < ends; ++f) first[finders_[f]] = firstFound_[f];
  };
  fromRoot_.assign(kSymbol + 1, 0);
  // The children not reached as the next state or from the root: parent << 32 | child.
  std::vector<std::uint64_t> branches;
  branches.reserve(order.size());  // one at most for each keyword: where it leaves the one before
  std::vector<std::uint32_t> path(longest + 1, 0);  // the states along the keyword before
  std::uint32_t made = 1;
  std::size_t finding = ends, linked = 0;  // the states that find a keyword, and those whose link is not the root
  for (std::size_t n = 0; n < order.size(); ++n) {
    // Taken out of their order in memory: the bytes of one a few keywords
    // on are asked for ahead.
    if (n + 8 < order.size()) __builtin_prefetch(folded.bytes.data() + folded.begins[order[n + 8].keyword]);
    const std::uint32_t i = order[n].keyword;
    const std::string_view k = folded[i];
    if (k.empty()) continue;
    const std::size_t shared = order[n].shared;
    std::uint32_t state = path[shared];
    std::size_t next = 0;  // where the next character begins
    while (next < shared) next += CharAt(k, next);
    for (std::size_t pos = shared; pos < k.size(); ++pos) {
      const bool character = pos == next;
      if (character) next += CharAt(k, pos);
      const Symbol symbol = static_cast<Symbol>(static_cast<unsigned char>(k[pos]) | (character ? kCharacterBegins : 0));
      const std::uint32_t child = made++;
      edges_[child] = symbol | kUnsettled;
      if (state == 0) {
        fromRoot_[symbol] = child;
      } else if (state + 1 == child && !(edges_[state] & kNextIsChild)) {
        edges_[state] |= kNextIsChild;
      } else {
        branches.push_back(std::uint64_t{state} << 32 | child);
        edges_[state] |= kBranches;
      }
      path[pos + 1] = state = child;
    }
    if (edges_[state] & kFinds) continue;  // (an equal keyword before it comes first in the list)
    edges_[state] |= kFinds;
    finders_.push_back(state);
    firstFound_.push_back(i);
  }
  // The states of many children get tables of their own. The branch table
  // holds the rest in order of state and symbol: by blocks of states, then
  // each block sorted (a state's own branches come in order of symbol).
  branchBlocks_ = std::vector<std::uint32_t>((states >> kBlockBits) + 2, 0);
  for (const std::uint64_t b : branches) ++branchBlocks_[(b >> 32 >> kBlockBits) + 1];
  for (std::size_t b = 1; b < branchBlocks_.size(); ++b) branchBlocks_[b] += branchBlocks_[b - 1];
  {
    // Each: its key in the parent's block << 32 | the child.
    std::vector<std::uint64_t> placed(branches.size());
    std::vector<std::uint32_t> next(branchBlocks_.begin(), branchBlocks_.end() - 1);
    for (const std::uint64_t b : branches) {
      const auto parent = static_cast<std::uint32_t>(b >> 32), child = static_cast<std::uint32_t>(b);
      placed[next[parent >> kBlockBits]++] = std::uint64_t{BranchKey(parent, edges_[child] & kSymbol)} << 32 | child;
    }
    std::vector<std::uint64_t>().swap(branches);
    const auto parentOf = [](std::size_t block, std::uint64_t p) {
      return static_cast<std::uint32_t>(block << kBlockBits | p >> (32 + 9));
    };
    std::vector<std::uint32_t> wide;
    for (std::size_t b = 0; b + 1 < branchBlocks_.size(); ++b) {
      const auto first = placed.begin() + branchBlocks_[b], last = placed.begin() + branchBlocks_[b + 1];
      std::sort(first, last);
      std::size_t run = 0;
      for (auto it = first; it != last; ++it) {
        ++run;
        if (it + 1 != last && (it[1] >> (32 + 9)) == (*it >> (32 + 9))) continue;
        if (run >= kWideFrom) wide.push_back(parentOf(b, *it));
        run = 0;
      }
    }
    wide_ = std::move(wide);
    // Where the wide states of each range of 2^wideShift_ states begin in
    // wide_: about one range a wide state, each mostly holding one.
    wideShift_ = 0;
    while ((states >> wideShift_) > 2 * wide_.size()) ++wideShift_;
    wideStarts_ = std::vector<std::uint32_t>((states >> wideShift_) + 2, 0);
    for (const std::uint32_t w : wide_) ++wideStarts_[(w >> wideShift_) + 1];
    for (std::size_t b = 1; b < wideStarts_.size(); ++b) wideStarts_[b] += wideStarts_[b - 1];
    wideTo_ = std::vector<std::uint32_t>(256 * wide_.size(), 0);
    for (const std::uint32_t w : wide_) edges_[w] |= kWide;
    // The wide states' children taken out, each block where the ones before
    // it end.
    std::uint32_t kept = 0;
    for (std::size_t b = 0; b + 1 < branchBlocks_.size(); ++b) {
      const std::uint32_t first = branchBlocks_[b], last = branchBlocks_[b + 1];
      branchBlocks_[b] = kept;
      for (std::uint32_t j = first; j < last; ++j) {
        const std::uint32_t state = parentOf(b, placed[j]);
        if (edges_[state] & kWide) {
          wideTo_[WideAt(state) + (placed[j] >> 32 & 0xFF)] = static_cast<std::uint32_t>(placed[j]);
        } else {
          placed[kept++] = placed[j];
        }
      }
    }
    branchBlocks_.back() = kept;
    branches_ = std::vector<std::uint16_t>(kept);
    branchTo_ = std::vector<std::uint32_t>(kept);
    for (std::size_t j = 0; j < kept; ++j) {
      branches_[j] = static_cast<std::uint16_t>(placed[j] >> 32);
      branchTo_[j] = static_cast<std::uint32_t>(placed[j]);
    }
  }
  // The fail links and what each state finds: a state finds its own keyword
  // and what the end of its fail link finds. A state's link needs the links
  // of shallower states only: the states are settled a depth at a time, and
  // along a keyword's own states as far as the links they need are settled
  // (most of a long keyword at once).
  // (Made part of each caller: a call of its own costs about what it does.)
  const auto settle = [&](std::uint32_t child, std::uint32_t from, Symbol symbol) __attribute__((always_inline)) {
    std::uint32_t to = kNone;
    for (std::uint32_t s = from; s != 0 && (to = Child(s, symbol)) == kNone;) s = fail[s];
    if (to == kNone) to = fromRoot_[symbol];  // from the root: its child or itself
    // (Its flags lie where the next step along the keyword reads anyway.)
    const std::uint16_t target = edges_[to];
    if (target & kUnsettled) return false;
    std::uint16_t& e = edges_[child];
    if (target & kFinds) {
      if (!first) firstOfEach();
      first[child] = e & kFinds ? std::min(first[child], first[to]) : first[to];
      finding += !(e & kFinds);
      e |= kFinds;
    }
    e &= ~kUnsettled;
    fail[child] = to;
    linked += to != 0;
    return true;
  };
  std::vector<std::vector<std::uint32_t>> waiting(2);  // by depth: settled states whose children are not
  const auto goOn = [&](std::uint32_t x, std::size_t depth) {
    while ((edges_[x] & (kNextIsChild | kBranches)) == kNextIsChild &&
           settle(x + 1, fail[x], edges_[x + 1] & kSymbol)) {
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
    edges_[c] &= ~kUnsettled;
    goOn(c, 1);
  }
  for (std::size_t depth = 1; depth < waiting.size(); ++depth) {
    std::sort(waiting[depth].begin(), waiting[depth].end());
    for (std::size_t i = 0; i < waiting[depth].size(); ++i) {
      const std::uint32_t s = waiting[depth][i];
      const std::uint32_t from = fail[s];
      const auto visit = [&](Symbol symbol, std::uint32_t child) {
        settle(child, from, symbol);  // the shallower states are all settled
        goOn(child, depth + 1);
      };
      if (edges_[s] & kNextIsChild) visit(edges_[s + 1] & kSymbol, s + 1);
      if (!(edges_[s] & kBranches)) continue;
      if (edges_[s] & kWide) {
        const std::uint32_t* children = wideTo_.data() + WideAt(s);
        for (std::size_t b = 0; b < 256; ++b) {
          if (children[b] != 0) visit(edges_[children[b]] & kSymbol, children[b]);
        }
        continue;
      }
      const std::uint16_t* const last = branches_.data() + branchBlocks_[(s >> kBlockBits) + 1];
      const std::uint16_t* const block = branches_.data() + branchBlocks_[s >> kBlockBits];
      for (const std::uint16_t* it = LowerBound(block, last - block, BranchKey(s, 0));
           it != last && (*it >> 9) == BranchKey(s, 0) >> 9; ++it) {
        visit(static_cast<Symbol>(*it & kSymbol), branchTo_[it - branches_.data()]);
      }
    }
    std::vector<std::uint32_t>().swap(waiting[depth]);
  }
  // Kept where they say something: most fail links of long keywords lead
  // back to the root, and most states find nothing.
  failBits_ = std::vector<std::uint64_t>(states / 64 + 1);
  failRanks_ = std::vector<std::uint32_t>(states / 64 + 1);
  failTo_ = std::vector<std::uint32_t>(linked);
  linked = 0;
  for (std::uint32_t w = 0; w < failBits_.size(); ++w) {
    failRanks_[w] = static_cast<std::uint32_t>(linked);
    std::uint64_t bits = 0;
    for (std::uint32_t s = w << 6, end = std::min<std::uint32_t>(s + 64, states); s < end; ++s) {
      if (fail[s] == 0) continue;
      bits |= std::uint64_t{1} << (s & 63);
      failTo_[linked++] = fail[s];
    }
    failBits_[w] = bits;
  }
  if (!first) return;  // the keywords' ends alone find
  finders_ = std::vector<std::uint32_t>(finding);
  firstFound_ = std::vector<std::uint32_t>(finding);
  finding = 0;
  for (std::uint32_t s = 1; s < states; ++s) {
    if (!(edges_[s] & kFinds)) continue;
    finders_[finding] = s;
    firstFound_[finding++] = first[s];
  }
}

ZOQ_HOT std::int32_t FuzzyMatcher::FirstIn(std::string_view text) const {
  if (edges_.size() <= 1) return -1;
  std::uint32_t state = 0, best = kNone;
  ForEachSymbol(text, [&](Symbol symbol) {
    // (At the root, where a text of other characters stays, one look.)
    state = state == 0 ? fromRoot_[symbol] : Next(state, symbol);
    if (edges_[state] & kFinds) best = std::min(best, FirstFoundAt(state));
    return best != 0;
  });
  return best == kNone ? -1 : static_cast<std::int32_t>(best);
}

std::size_t FuzzyMatcher::MemoryBytes() const {
  return edges_.capacity() * sizeof(std::uint16_t) + branches_.capacity() * sizeof(std::uint16_t) +
         failBits_.capacity() * sizeof(std::uint64_t) +
         (failRanks_.capacity() + failTo_.capacity() + fromRoot_.capacity() + branchTo_.capacity() +
          branchBlocks_.capacity() + wide_.capacity() + wideStarts_.capacity() + wideTo_.capacity() + finders_.capacity() +
          firstFound_.capacity()) *
             sizeof(std::uint32_t);
}

// ---- KeywordLibraries ----------------------------------------------------

void KeywordLibraries::MarkStale(const Folder& folder) {
  for (const auto& k : kept_) k->stale = k->stale || k->folder == &folder;
}

void KeywordLibraries::Watch(Folder& folder) {
  folder.watch = std::make_unique<platform::FolderWatch>(folder.path);
  if (!folder.watch->watching()) {
    folder.watch.reset();
    return;
  }
  MarkStale(folder);
}

ZOQ_HOT void KeywordLibraries::TakeChanges(Folder& folder) {
  if (!folder.watch) return;
  const platform::FolderWatch::Changes changes = folder.watch->Take();
  if (changes.gone) {
    // Whatever is at the path now is read again and watched at that read.
    folder.watch.reset();
    MarkStale(folder);
    return;
  }
  if (changes.restarted) {
    // What changed while the system did not watch: the stamps tell.
    for (const auto& k : kept_) {
      if (k->folder == &folder) k->lookedAt = 0;
    }
  }
  if (!changes.all && changes.names.empty()) return;
  for (const auto& k : kept_) {
    const std::string_view name = std::string_view(k->path).substr(k->nameAt);
    k->stale = k->stale || (k->folder == &folder &&
                            (changes.all || std::any_of(changes.names.begin(), changes.names.end(), [&](const auto& c) {
                               return text::EqualsIgnoreAsciiCase(c, name);
                             })));
  }
}

ZOQ_HOT KeywordLibraries::Look KeywordLibraries::LookAt(const std::string& file, bool anew) {
  auto it = std::find_if(kept_.begin(), kept_.end(), [&](const auto& k) { return k->path == file; });
  if (it == kept_.end()) {
    const std::size_t cut = platform::LastPathSeparator(file);
    const std::string path = cut == std::string::npos ? std::string(".") : file.substr(0, cut);
    auto folder = std::find_if(folders_.begin(), folders_.end(), [&](const auto& f) { return f->path == path; });
    if (folder == folders_.end()) folder = folders_.insert(folders_.end(), std::make_unique<Folder>(Folder{path, nullptr}));
    auto kept = std::make_shared<Kept>();
    kept->path = file;
    kept->nameAt = cut == std::string::npos ? 0 : cut + 1;
    kept->folder = folder->get();
    kept->image = std::make_shared<const IniImage>();
    it = kept_.insert(kept_.end(), std::move(kept));
  }
  Look look{*it};
  Kept& k = **it;
  TakeChanges(*k.folder);
  // The stamps at most once in a short while: the change reports tell at
  // once (and of what keeps the stamps), the stamps of what a report misses
  // or brings a moment late. This process's writes are counted.
  const std::uint64_t all = AllWrites();
  if (all != k.allWritesSeen) k.writesSeen = WritesOf(file), k.allWritesSeen = all;
  look.writes = k.writesSeen;
  const std::uint64_t at = platform::Milliseconds();
  if (!anew && !k.stale && look.writes == k.writes && at - k.lookedAt < kStampInterval) return look;
  look.now = platform::StampOf(file);
  k.lookedAt = at;
  look.read = anew || k.stale || !(look.now == k.stamp) || look.writes != k.writes;
  return look;
}

KeywordLibraries::KeywordLibraries() = default;
KeywordLibraries::~KeywordLibraries() = default;

ZOQ_HOT std::shared_ptr<const IniImage> KeywordLibraries::Image(const std::string& file, bool anew) {
  Look look;
  {
    std::lock_guard<std::mutex> hold(lock_);
    look = LookAt(file, anew);
    if (!look.read) return look.kept->image;
  }
  Kept& k = *look.kept;
  const std::lock_guard<std::mutex> reading(k.reading);
  {
    std::lock_guard<std::mutex> hold(lock_);
    TakeChanges(*k.folder);
    // Read meanwhile, as it was looked at, by the thread this one waited for.
    if (!anew && !k.stale && k.stamp == look.now && k.writes == look.writes) return k.image;
    // A folder that could not be watched (or went) is tried again at each
    // read: what the system reports from now on adds to the stamps.
    if (!k.folder->watch) Watch(*k.folder);
    k.stale = false;  // what is reported from now on is read next time
  }
  std::optional<std::string> bytes = look.now.exists ? platform::ReadWholeFileIfPossible(file) : std::string();
  std::shared_ptr<const IniImage> image = bytes ? ParsedImageOf(file, std::move(*bytes)) : nullptr;
  std::lock_guard<std::mutex> hold(lock_);
  if (!image) {
    k.stale = true;  // kept as it was, and read again next time
    return k.image;
  }
  k.image = image;
  k.stamp = look.now;
  k.writes = look.writes;
  return image;
}

ZOQ_HOT std::string KeywordLibraries::Reply(const std::string& file, const std::string& keyword) {
  return Image(file)->Value(keyword, kReplyKey).value_or(std::string());
}

std::vector<std::string> KeywordLibraries::SectionNames(const std::string& file) {
  return Image(file)->SectionNames();
}

std::size_t KeywordLibraries::MemoryBytes() const {
  std::lock_guard<std::mutex> hold(lock_);
  std::size_t bytes = 0;
  for (const auto& k : kept_) bytes += k->image->MemoryBytes() + k->path.capacity();
  return bytes;
}

}  // namespace zoq
