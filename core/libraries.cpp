#include "core/libraries.hpp"

#include <algorithm>

#include "core/ini_items.hpp"
#include "core/settings.hpp"
#include "platform/code_pages.hpp"
#include "text/text.hpp"

namespace zoq {
namespace {

// The blanks the INI functions trim around names, values and lines.
bool IsIniBlank(unsigned char c) { return (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == 0x20; }

// The length of the character at `pos`: a lead byte takes the next byte
// with it, whatever it is (as the code page conversion does).
std::size_t CharAt(std::string_view s, std::size_t pos) { return text::CharLength(s, pos); }

// A character the code page cannot read: a lead byte alone at the end, or
// with a second byte outside 0x40..0xFE (or 0x7F).
bool Unreadable(std::string_view ch) {
  if (!text::IsLeadByte(static_cast<unsigned char>(ch[0]))) return false;
  if (ch.size() == 1) return true;
  const unsigned char trail = static_cast<unsigned char>(ch[1]);
  return trail < 0x40 || trail == 0x7F || trail == 0xFF;
}

// Folds the character at `pos` (of length `n`) into `out`: the INI
// functions compare names with ASCII letters folded, nothing else.
void FoldChar(std::string_view s, std::size_t pos, std::size_t n, std::string& out) {
  const unsigned char c = static_cast<unsigned char>(s[pos]);
  out += static_cast<char>(n == 1 && c >= 'A' && c <= 'Z' ? c + 32 : c);
  if (n == 2) out += s[pos + 1];
}

// The hash of a name as the INI functions compare it (ASCII letters folded).
std::uint64_t FoldedHash(std::string_view bytes) {
  std::uint64_t h = 1469598103934665603ull;
  for (std::size_t pos = 0; pos < bytes.size();) {
    const std::size_t n = CharAt(bytes, pos);
    unsigned char c = static_cast<unsigned char>(bytes[pos]);
    if (n == 1 && c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c + 32);
    h = (h ^ c) * 1099511628211ull;
    if (n == 2) h = (h ^ static_cast<unsigned char>(bytes[pos + 1])) * 1099511628211ull;
    pos += n;
  }
  return h;
}

// Two names equal as the INI functions compare them.
bool FoldedEqual(std::string_view a, std::string_view b) {
  return a.size() == b.size() && text::StartsWith(a, b, text::Case::IgnoreAscii);
}

// Appends `text` folded.
void AppendFolded(std::string_view text, std::string& out) {
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t n = CharAt(text, pos);
    FoldChar(text, pos, n, out);
    pos += n;
  }
}

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && IsIniBlank(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && IsIniBlank(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

std::size_t TableSizeFor(std::size_t count) {
  std::size_t size = 16;
  while (size < count * 2) size *= 2;
  return size;
}

// A value as GetPrivateProfileStringA hands it over with a read buffer of
// `buffer` bytes: counted in characters, a value enclosed in matching
// quotes loses them (when the closing one fits the buffer, else the last
// character that did), at most the buffer less one; then cut to the buffer
// less one in bytes, at a character boundary. A character the code page
// cannot read comes back as "?".
std::string AsRead(std::string_view value, std::size_t buffer) {
  std::vector<std::string_view> chars;
  for (std::size_t pos = 0; pos < value.size();) {
    const std::size_t n = CharAt(value, pos);
    chars.push_back(value.substr(pos, n));
    pos += n;
  }
  const std::size_t limit = buffer - 1;
  std::size_t first = 0, count = chars.size();
  bool quoted = false;
  if (count >= 2 && (chars[0] == "\"" || chars[0] == "'") && chars.back() == chars[0]) {
    quoted = true;
    first = 1;
    --count;  // the closing quote is still counted here
  }
  std::size_t copied = std::min(count, limit);
  if (quoted && buffer >= count && copied > 0) --copied;
  std::string out;
  for (std::size_t i = first; i < first + copied; ++i) {
    const std::string_view ch = Unreadable(chars[i]) ? std::string_view("?") : chars[i];
    if (out.size() + ch.size() > limit) break;
    out += ch;
  }
  return out;
}

}  // namespace

std::string StoredKeywordForm(std::string_view keyword) {
  if (keyword.find_first_of("[]") == std::string_view::npos) return std::string(keyword);
  return text::ReplaceAll(text::ReplaceAll(keyword, "[", "&uoS8#"), "]", "&uoS9#");
}

std::string PlainKeywordForm(std::string_view stored) {
  if (stored.find("&uoS") == std::string_view::npos) return std::string(stored);
  return text::ReplaceAll(text::ReplaceAll(stored, "&uoS8#", "["), "&uoS9#", "]");
}

// ---- IniImage ------------------------------------------------------------

void IniImage::Load(std::string text) {
  text_ = std::move(text);
  sections_.clear();
  const std::string_view all(text_);
  std::size_t next = 0;
  const auto closeBody = [&](std::size_t end) {
    if (!sections_.empty()) sections_.back().bodyEnd = static_cast<std::uint32_t>(end);
  };
  while (next < all.size()) {
    const std::size_t lineBegin = next;
    while (next < all.size() && all[next] != '\n' && all[next] != '\r') next += CharAt(all, next);
    std::size_t lineEnd = std::min(next, all.size());
    while (next < all.size() && (all[next] == '\n' || all[next] == '\r')) ++next;
    std::size_t start = lineBegin;
    while (start < lineEnd && IsIniBlank(static_cast<unsigned char>(all[start]))) ++start;
    while (lineEnd > start && IsIniBlank(static_cast<unsigned char>(all[lineEnd - 1]))) --lineEnd;
    if (start >= lineEnd || all[start] != '[') continue;
    // The name ends at the line's last "]" (a whole character, not the
    // second byte of one).
    std::size_t close = std::string_view::npos;
    for (std::size_t pos = start; pos < lineEnd; pos += CharAt(all, pos)) {
      if (all[pos] == ']') close = pos;
    }
    if (close == std::string_view::npos || close <= start) continue;
    closeBody(lineBegin);
    // The name without the blanks inside the brackets.
    const std::string_view inside = all.substr(start + 1, close - start - 1);
    const std::string_view name = Trimmed(inside);
    const std::size_t nameBegin = name.empty() ? start + 1 : static_cast<std::size_t>(name.data() - all.data());
    sections_.push_back({static_cast<std::uint32_t>(nameBegin), static_cast<std::uint32_t>(name.size()),
                         static_cast<std::uint32_t>(next), static_cast<std::uint32_t>(all.size())});
  }
  closeBody(all.size());

  table_.assign(TableSizeFor(sections_.size()), 0);
  const std::size_t mask = table_.size() - 1;
  for (std::size_t i = 0; i < sections_.size(); ++i) {
    const Section& s = sections_[i];
    const std::string_view name = all.substr(s.nameBegin, s.nameLength);
    std::size_t slot = FoldedHash(name) & mask;
    bool duplicate = false;
    for (; table_[slot] != 0; slot = (slot + 1) & mask) {
      const Section& other = sections_[table_[slot] - 1];
      if (FoldedEqual(all.substr(other.nameBegin, other.nameLength), name)) {
        duplicate = true;  // the first section of a name is the one that answers
        break;
      }
    }
    if (!duplicate) table_[slot] = static_cast<std::uint32_t>(i + 1);
  }
}

const IniImage::Section* IniImage::Find(std::string_view name) const {
  const std::string_view trimmed = Trimmed(name);
  if (trimmed.empty() || table_.empty()) return nullptr;
  const std::size_t mask = table_.size() - 1;
  for (std::size_t slot = FoldedHash(trimmed) & mask; table_[slot] != 0; slot = (slot + 1) & mask) {
    const Section& s = sections_[table_[slot] - 1];
    if (FoldedEqual(std::string_view(text_).substr(s.nameBegin, s.nameLength), trimmed)) return &s;
  }
  return nullptr;
}

std::optional<std::string> IniImage::Value(std::string_view section, std::string_view key, std::size_t buffer) const {
  const Section* s = Find(section);
  const std::string_view wanted = Trimmed(key);
  if (!s || wanted.empty()) return std::nullopt;
  const std::string_view body = std::string_view(text_).substr(s->bodyBegin, s->bodyEnd - s->bodyBegin);
  std::size_t next = 0;
  while (next < body.size()) {
    const std::size_t lineBegin = next;
    while (next < body.size() && body[next] != '\n' && body[next] != '\r') next += CharAt(body, next);
    const std::string_view line = Trimmed(body.substr(lineBegin, std::min(next, body.size()) - lineBegin));
    while (next < body.size() && (body[next] == '\n' || body[next] == '\r')) ++next;
    if (line.empty() || line.front() == '[') continue;  // a header that names no section
    const std::size_t equals = line.find('=');
    const std::string_view name = equals == std::string_view::npos ? line : Trimmed(line.substr(0, equals));
    if (!FoldedEqual(name, wanted)) continue;
    // The first key of the name answers; one without "=" answers as missing.
    if (equals == std::string_view::npos) return std::nullopt;
    return AsRead(Trimmed(line.substr(equals + 1)), buffer);
  }
  return std::nullopt;
}

std::vector<std::string> IniImage::SectionNames() const {
  std::vector<std::string> names;
  names.reserve(sections_.size());
  for (const Section& s : sections_) {
    if (s.nameLength != 0) names.emplace_back(text_, s.nameBegin, s.nameLength);
  }
  return names;
}

std::size_t IniImage::MemoryBytes() const {
  return text_.capacity() + sections_.capacity() * sizeof(Section) + table_.capacity() * sizeof(std::uint32_t);
}

// ---- FuzzyMatcher --------------------------------------------------------

namespace {

constexpr std::uint64_t kBase = 1099511628211ull;
constexpr std::size_t kPrefixBits = std::size_t{1} << 20;

// The polynomial hash of `bytes`: h = h * kBase + byte + 1, from the first.
std::uint64_t PolynomialHash(std::string_view bytes) {
  std::uint64_t h = 0;
  for (unsigned char c : bytes) h = h * kBase + c + 1;
  return h;
}

std::uint32_t PrefixHash(std::string_view four) {
  std::uint32_t v = 0;
  for (unsigned char c : four) v = v * 16777619u ^ c;
  return v ^ (v >> 13);
}

}  // namespace

void FuzzyMatcher::Build(const std::vector<std::string>& keywords, Form form) {
  count_ = keywords.size();
  bytes_.clear();
  begins_.clear();
  lengths_.clear();
  begins_.reserve(count_ + 1);
  std::size_t total = 0;
  for (const std::string& k : keywords) total += k.size();
  bytes_.reserve(total);
  for (const std::string& k : keywords) {
    begins_.push_back(static_cast<std::uint32_t>(bytes_.size()));
    if (form == Form::Plain && k.find("&uoS") != std::string::npos) AppendFolded(PlainKeywordForm(k), bytes_);
    else AppendFolded(k, bytes_);
  }
  begins_.push_back(static_cast<std::uint32_t>(bytes_.size()));
  bytes_.shrink_to_fit();
  table_.assign(TableSizeFor(count_), Entry{0, ~0u});
  prefixBits_ = 4096;
  while (prefixBits_ < count_ * 16 && prefixBits_ < kPrefixBits) prefixBits_ *= 2;
  prefixes_.assign(prefixBits_ / 64, 0);
  const std::size_t mask = table_.size() - 1;
  for (std::uint32_t i = 0; i < count_; ++i) {
    const std::string_view k = Folded(i);
    if (k.empty()) continue;  // an empty keyword is found nowhere
    const std::uint64_t h = PolynomialHash(k);
    std::size_t slot = h & mask;
    bool known = false;
    for (; table_[slot].keyword != ~0u; slot = (slot + 1) & mask) {
      if (table_[slot].hash == static_cast<std::uint32_t>(h >> 32) && Folded(table_[slot].keyword) == k) {
        known = true;  // a later keyword of the same bytes never comes first
        break;
      }
    }
    if (known) continue;
    table_[slot] = {static_cast<std::uint32_t>(h >> 32), i};
    if (k.size() >= 4) {
      const std::uint32_t bit = PrefixHash(k.substr(0, 4)) & (prefixBits_ - 1);
      prefixes_[bit / 64] |= std::uint64_t{1} << (bit % 64);
    }
    if (std::find(lengths_.begin(), lengths_.end(), k.size()) == lengths_.end()) {
      lengths_.push_back(static_cast<std::uint32_t>(k.size()));
    }
  }
  std::sort(lengths_.begin(), lengths_.end());
}

std::int32_t FuzzyMatcher::FirstIn(std::string_view text) const {
  if (lengths_.empty()) return -1;
  // The text folded the same way, the hashes of its beginnings, the powers
  // of the base, and where its characters begin (buffers kept between calls:
  // this runs for every message).
  thread_local std::string folded;
  thread_local std::vector<std::uint32_t> starts;
  thread_local std::vector<std::uint64_t> heads, powers;
  folded.clear();
  starts.clear();
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t n = CharAt(text, pos);
    starts.push_back(static_cast<std::uint32_t>(folded.size()));
    FoldChar(text, pos, n, folded);
    pos += n;
  }
  heads.assign(folded.size() + 1, 0);
  powers.assign(folded.size() + 1, 1);
  for (std::size_t i = 0; i < folded.size(); ++i) {
    heads[i + 1] = heads[i] * kBase + static_cast<unsigned char>(folded[i]) + 1;
    powers[i + 1] = powers[i] * kBase;
  }
  const std::size_t mask = table_.size() - 1;
  const std::string_view all(folded);
  std::uint32_t best = ~0u;
  for (const std::uint32_t start : starts) {
    const bool longer = start + 4 <= all.size() && [&] {
      const std::uint32_t bit = PrefixHash(all.substr(start, 4)) & (prefixBits_ - 1);
      return (prefixes_[bit / 64] >> (bit % 64)) & 1;
    }();
    for (const std::uint32_t length : lengths_) {
      if (start + length > all.size()) break;
      if (length >= 4 && !longer) break;
      const std::uint64_t h = heads[start + length] - heads[start] * powers[length];
      for (std::size_t slot = h & mask; table_[slot].keyword != ~0u; slot = (slot + 1) & mask) {
        const Entry& e = table_[slot];
        if (e.hash == static_cast<std::uint32_t>(h >> 32) && e.keyword < best && Folded(e.keyword) == all.substr(start, length)) {
          best = e.keyword;
        }
      }
    }
  }
  return best == ~0u ? -1 : static_cast<std::int32_t>(best);
}

std::size_t FuzzyMatcher::MemoryBytes() const {
  return bytes_.capacity() + begins_.capacity() * sizeof(std::uint32_t) +
         lengths_.capacity() * sizeof(std::uint32_t) + table_.capacity() * sizeof(Entry) +
         prefixes_.capacity() * sizeof(std::uint64_t);
}

// ---- KeywordLibraries ----------------------------------------------------

KeywordLibraries::Kept& KeywordLibraries::Current(const std::string& file) {
  auto it = std::find_if(kept_.begin(), kept_.end(), [&](const Kept& k) { return k.path == file; });
  if (it == kept_.end()) {
    kept_.push_back({file, {}, {}});
    it = kept_.end() - 1;
    it->stamp.writeTime = ~0ull;  // never read yet
  }
  const platform::FileStamp now = platform::StampOf(file);
  if (!(now == it->stamp)) {
    it->image.Load(now.exists ? platform::FileTextAsAnsi(platform::ReadWholeFile(file)) : std::string());
    it->stamp = now;
  }
  return *it;
}

std::string KeywordLibraries::Reply(const std::string& file, const std::string& keyword) {
  return Current(file).image.Value(keyword, kReplyKey).value_or(std::string());
}

std::vector<std::string> KeywordLibraries::SectionNames(const std::string& file) {
  return Current(file).image.SectionNames();
}

void KeywordLibraries::Forget() { kept_.clear(); }

std::size_t KeywordLibraries::MemoryBytes() const {
  std::size_t bytes = 0;
  for (const Kept& k : kept_) bytes += k.image.MemoryBytes() + k.path.capacity();
  return bytes;
}

}  // namespace zoq
