#include "core/reply/sending.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <unordered_set>
#include <utility>
#include <vector>

#include "core/hosts.hpp"
#include "text/text.hpp"

namespace zoq {
namespace {

using reply::ReplyText;
using Origin = ReplyText::Origin;
using text::Case;
using CodeRow = std::pair<std::string_view, std::string_view>;

// What the hosts write for a line break, an escaped bracket or the opener of
// a mention, and the neutral code each becomes; replaced in this order.
constexpr std::array<CodeRow, 8> kIncomingCodes{{
    {"\r\n", "[N]"},
    {"\\u005b", "["},
    {"\\u005d", "]"},
    {"[at=", "[@"},
    {"[IR:at=", "[@"},
    {"[CQ:at,qq=", "[@"},
    {"&uoS8#", "["},
    {"&uoS9#", "]"},
}};
constexpr std::size_t kLineBreak = 0;
constexpr std::size_t kMentionOpeners = 3;  // the rows from here on, up to the stored brackets
constexpr std::size_t kStoredBrackets = 6;

ZOQ_HOT std::string Folded(std::string s, std::size_t first, std::size_t last) {
  // Every code begins with one of these bytes: a text without them holds none.
  if (std::none_of(s.begin(), s.end(), [](char c) { return c == '\r' || c == '\\' || c == '[' || c == '&'; })) return s;
  for (std::size_t i = first; i < last; ++i) {
    const auto& [from, to] = kIncomingCodes[i];
    if (!text::Contains(s, from, Case::IgnoreAscii)) continue;
    s = i == kLineBreak ? text::LineBreaksAsN(s, text::LineBreaks::CrLf) : text::ReplaceAll(s, from, to, Case::IgnoreAscii);
  }
  return s;
}

bool StartsAt(std::string_view s, std::size_t pos, std::string_view prefix, Case mode = Case::Sensitive) {
  return text::StartsWith(s.substr(pos), prefix, mode);
}

// ---- On the way out.

constexpr std::string_view kFullWidthOpen = "［";
constexpr std::string_view kFullWidthClose = "］";

std::string_view InertOpen(const HostProfile& host) {
  return host.escapedOpen.empty() ? kFullWidthOpen : host.escapedOpen;
}
std::string_view InertClose(const HostProfile& host) {
  return host.escapedClose.empty() ? kFullWidthClose : host.escapedClose;
}

// "[N]" as CRLF where the owner wrote it all or outside text did (a line
// break of the message), never where the owner's bracket closes outside text
// or an id's; the stored brackets the owner wrote as brackets; stored
// brackets that outside text or an id helps to make stay as they are.
// `in` itself when it holds neither; otherwise the text made in `out`.
const ReplyText& WithBrackets(const ReplyText& in, ReplyText& out) {
  static constexpr std::array<CodeRow, 2> kStored{{{"&uoS8#", "["}, {"&uoS9#", "]"}}};
  const std::string& s = in.text();
  if (!text::Contains(s, "[N]") && s.find("&uoS") == std::string::npos) return in;
  for (std::size_t pos = 0; pos < s.size();) {
    // The characters up to the next that may begin a code go as one run.
    std::size_t run = pos;
    while (run < s.size() && s[run] != '[' && s[run] != '&') run += text::CharLength(s, run);
    if (run > pos) {
      out.Append(in, pos, run - pos);
      pos = run;
      continue;
    }
    const CodeRow* stored = nullptr;
    for (const CodeRow& row : kStored) {
      if (StartsAt(s, pos, row.first) && in.All(pos, pos + row.first.size(), Origin::Written)) stored = &row;
    }
    if (StartsAt(s, pos, "[N]") && (in.All(pos, pos + 3, Origin::Written) || !in.AnyWritten(pos, pos + 3))) {
      out.Append("\r\n", in.origin(pos));
      pos += 3;
    } else if (stored) {
      out.Append(stored->second, Origin::Written);
      pos += stored->first.size();
    } else {
      const std::size_t length = text::CharLength(s, pos);
      out.Append(in, pos, length);
      pos += length;
    }
  }
  return out;
}

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
// The length of the blank at `pos` that a host may skip before a code's
// name: a control byte or a space, or the full-width space (A1 A1); 0 for
// anything else. A text's closing NUL is none.
std::size_t BlankLength(const std::string& s, std::size_t pos) {
  if (s[pos] != '\0' && static_cast<unsigned char>(s[pos]) <= ' ') return 1;
  return s[pos] == '\xA1' && s[pos + 1] == '\xA1' ? 2 : 0;
}
std::size_t AfterBlanks(const std::string& s, std::size_t pos, std::size_t end) {
  for (std::size_t n; pos < end && (n = BlankLength(s, pos)) > 0;) pos += n;
  return pos;
}
bool IsNameByte(char c) {
  return IsAsciiLetter(c) || c == ':' || c == '@' || c == '_' || c == ' ' || c == '\t';
}
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }
bool IsPlainByte(char c) { return IsHexDigit(c) || (c >= 'G' && c <= 'Z') || (c >= 'g' && c <= 'z') || c == '_' || c == '-'; }
bool AllOf(std::string_view v, bool (*ok)(char)) { return !v.empty() && std::all_of(v.begin(), v.end(), ok); }
// A file name of `ok` bytes and the extension `ext`.
bool NamedWith(std::string_view v, std::string_view ext, bool (*ok)(char)) {
  return v.ends_with(ext) && AllOf(v.substr(0, v.size() - ext.size()), ok);
}

std::string_view Trimmed(std::string_view v) {
  while (!v.empty() && static_cast<unsigned char>(v.front()) <= ' ') v.remove_prefix(1);
  while (!v.empty() && static_cast<unsigned char>(v.back()) <= ' ') v.remove_suffix(1);
  return v;
}

// Whether the "[" at `open` could begin a code of a host: after blanks a
// host may skip, "@" (a mention) or an ASCII name up to the "=", "," or ":"
// that every host puts after its codes' names ("pic=", "CQ:", "picFile,").
// "[1]", "[done]" and "[哈哈]" begin none. A host reads a text up to its
// NUL, which ends every scan here (s[s.size()] is one).
bool BeginsCode(const std::string& s, std::size_t open) {
  const auto blank = [](char c) { return c != '\0' && static_cast<unsigned char>(c) <= ' '; };
  std::size_t pos = AfterBlanks(s, open + 1, s.size());
  if (s[pos] == '@') return true;
  if (!IsAsciiLetter(s[pos])) return false;
  while (IsPlainByte(s[pos]) || blank(s[pos])) ++pos;
  return s[pos] == '=' || s[pos] == ',' || s[pos] == ':';
}

// One "key=value" of a code's body (the pieces between commas; the first
// one holds the code's name), with where it stands in the text.
struct KeyValue {
  std::string_view key, value;
  std::size_t begin, end;
};

// The piece [begin, end) of `s` as a key and its value, when it holds "=".
void AddKeyValue(std::vector<KeyValue>& keys, std::string_view s, std::size_t begin, std::size_t end) {
  const std::string_view piece = s.substr(begin, end - begin);
  if (const std::size_t eq = piece.find('='); eq != std::string_view::npos) {
    keys.push_back({Trimmed(piece.substr(0, eq)), Trimmed(piece.substr(eq + 1)), begin, end});
  }
}

std::vector<KeyValue> KeyValues(std::string_view s, std::size_t bodyBegin, std::size_t bodyEnd) {
  std::vector<KeyValue> keys;
  s = s.substr(0, bodyEnd);
  for (std::size_t begin = bodyBegin; begin <= bodyEnd;) {
    std::size_t comma = s.find(',', begin);
    if (comma == std::string_view::npos) comma = bodyEnd;
    AddKeyValue(keys, s, begin, comma);
    begin = comma + 1;
  }
  return keys;
}

// The same as a host reads them: one key whose value runs from the first
// "=" to the code's "]", on a host that does not split its codes at commas.
std::vector<KeyValue> KeyValuesAsRead(std::string_view s, std::size_t bodyBegin, std::size_t bodyEnd, bool commas) {
  if (commas) return KeyValues(s, bodyBegin, bodyEnd);
  std::vector<KeyValue> keys;
  AddKeyValue(keys, s, bodyBegin, bodyEnd);
  return keys;
}

// A path that names a file of this machine: a drive, a root, a file address,
// or any backslash or parent step.
bool NamesLocalFile(std::string_view path) {
  if (text::StartsWith(path, "file:", Case::IgnoreAscii)) return true;
  if (path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ':') return true;
  if (!path.empty() && (path[0] == '\\' || path[0] == '/')) return true;
  return text::Contains(path, "\\") || path.find("..") != std::string_view::npos;
}

std::string_view WithoutTrailingBlanks(std::string_view v) {
  while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
  return v;
}

// A name of a local path that Windows does not open as the file it names:
// a device (con, nul, aux, prn, com1-com9, lpt1-lpt9, the console's conin$
// and conout$, with any extension), or a name whose trailing dots it drops
// ("abc." is "abc", ".." the folder above).
bool NamesAnotherFile(std::string_view name) {
  name = WithoutTrailingBlanks(name);
  if (name.ends_with('.')) return true;
  const std::string_view stem = WithoutTrailingBlanks(name.substr(0, name.find('.')));
  for (std::string_view device : {"con", "nul", "aux", "prn", "conin$", "conout$"}) {
    if (text::EqualsIgnoreAsciiCase(stem, device)) return true;
  }
  return stem.size() == 4 && stem[3] >= '1' && stem[3] <= '9' &&
         (text::EqualsIgnoreAsciiCase(stem.substr(0, 3), "com") || text::EqualsIgnoreAsciiCase(stem.substr(0, 3), "lpt"));
}

bool IsWebAddress(std::string_view path) {
  return text::StartsWith(path, "http://", Case::IgnoreAscii) || text::StartsWith(path, "https://", Case::IgnoreAscii);
}

// The keys that name the file of a picture or voice, in every host's form
// ("[P=", "[pic=", "[picFile,path=", "[CQ:image,file=", the picture and the
// sound of ISky's shares and music, ...).
bool IsFileKey(std::string_view key) {
  for (std::string_view k : {"P", "V", "pic", "voi", "file", "path", "image", "audio"}) {
    if (text::EqualsIgnoreAsciiCase(key, k)) return true;
  }
  return false;
}

// The openers of the hosts' mentions: the account in them is a number.
bool IsMentionCode(std::string_view s, std::size_t open) {
  for (std::string_view form : {"[@", "[at=", "[IR:at=", "[CQ:at,"}) {
    if (StartsAt(s, open, form, Case::IgnoreAscii)) return true;
  }
  return false;
}

// A picture, voice or face code as the host writes its own: "[pic={id}.ext]"
// (the QQ hosts' picture and voice ids in braces) or ISky's CQ codes of its
// own ids, nothing that names a file of this machine.
bool IsHostMediaCode(std::string_view code, DeliveredMedia form) {
  switch (form) {
    case DeliveredMedia::None: return false;
    case DeliveredMedia::BracedId: {
      std::string_view id;
      for (std::string_view opener : {"[pic=", "[voi="}) {
        if (text::StartsWith(code, opener, Case::IgnoreAscii)) id = code.substr(opener.size(), code.size() - opener.size() - 1);
      }
      const std::size_t brace = id.find('}');
      if (id.empty() || id[0] != '{' || brace == std::string_view::npos) return false;
      const std::string_view ext = id.substr(brace + 1);
      const bool extOk = ext.empty() || (ext[0] == '.' && ext.size() <= 6 && AllOf(ext.substr(1), IsPlainByte));
      return AllOf(id.substr(1, brace - 1), [](char c) { return IsHexDigit(c) || c == '-'; }) && extOk;
    }
    case DeliveredMedia::CqCodes: {
      // Each kind, with the one key that names its file or face by the host's id.
      struct Kind {
        std::string_view opener, key;
        bool (*id)(std::string_view);
      };
      static constexpr Kind kKinds[] = {
          {"[CQ:image,", "file", [](std::string_view v) { return NamedWith(v, ".image", IsHexDigit); }},
          {"[CQ:record,", "file", [](std::string_view v) { return NamedWith(v, ".silk", IsPlainByte) && !NamesAnotherFile(v); }},
          {"[CQ:face,", "id", [](std::string_view v) { return AllOf(v, IsDigit); }},
      };
      const Kind* kind = std::find_if(std::begin(kKinds), std::end(kKinds), [&](const Kind& k) {
        return text::StartsWith(code, k.opener, Case::IgnoreAscii);
      });
      if (kind == std::end(kKinds)) return false;
      int ids = 0;
      for (const KeyValue& k : KeyValues(code, kind->opener.size(), code.size() - 1)) {
        if (text::EqualsIgnoreAsciiCase(k.key, kind->key)) {
          if (!kind->id(k.value)) return false;
          ++ids;
        } else if (text::EqualsIgnoreAsciiCase(k.key, "url")) {  // where the host shows it from
          if (!IsWebAddress(k.value) || NamesLocalFile(k.value)) return false;
        } else if (!AllOf(k.key, IsPlainByte) || !AllOf(k.value, IsPlainByte)) {
          return false;
        }
      }
      return ids == 1;
    }
  }
  return false;
}

// The codes the host delivered in the message as they stood in it: each "["
// with the first "]" after it and no "[" between them.
std::unordered_set<std::string_view> DeliveredCodes(std::string_view delivered) {
  std::unordered_set<std::string_view> codes;
  std::size_t open = text::npos;
  for (std::size_t pos = 0; pos < delivered.size(); pos += text::CharLength(delivered, pos)) {
    if (delivered[pos] == '[') open = pos;
    if (delivered[pos] == ']' && open != text::npos) {
      codes.insert(delivered.substr(open, pos + 1 - open));
      open = text::npos;
    }
  }
  return codes;
}

// The next byte at or after `from` that `match` takes, for calls whose
// `from` never goes back: every byte is looked at once, so a conversion
// stays linear in the text however its brackets fall.
class NextOf {
 public:
  using Match = bool (*)(const ReplyText&, std::size_t);
  NextOf(const ReplyText& t, Match match) : t_(t), match_(match) {}
  std::size_t At(std::size_t from) {
    if (scanned_ && found_ >= from) return found_;
    const std::string& s = t_.text();
    std::size_t pos = std::max(from, found_);
    while (pos < s.size() && !match_(t_, pos)) pos += text::CharLength(s, pos);
    scanned_ = true;
    return found_ = pos;
  }

 private:
  const ReplyText& t_;
  Match match_;
  bool scanned_ = false;
  std::size_t found_ = 0;
};

bool Written(const ReplyText& t, std::size_t pos) { return t.IsWritten(pos); }

// The sent text as a host that reads its codes byte by byte sees it: a code
// runs from a "[" byte to the first "]" byte after it with no "[" between,
// whether the byte is a character or the second byte of a double-byte one,
// and is one when its "[" could begin one (BeginsCode). `outside` lists, in
// order, where the second bytes stand that are "[" or "]" of the
// double-byte characters of outside text. The fewest of those characters
// become "?" so that no code begins or ends on one and none stands in the
// owner's: its "]" would close the owner's code early or one that outside
// text opened, its "[" would open one that a later "]" closes. Of two ways
// that change as many, the one that keeps the earlier character.
std::string WithoutOutsideCodes(std::string sent, const std::vector<std::size_t>& outside) {
  if (outside.empty()) return sent;
  struct Bracket {
    std::size_t at;
    bool open, begins, theirs;
  };
  std::vector<Bracket> brackets;
  for (std::size_t i = 0; i < sent.size(); ++i) {
    if (sent[i] != '[' && sent[i] != ']') continue;
    const bool open = sent[i] == '[';
    brackets.push_back({i, open, open && BeginsCode(sent, i), std::binary_search(outside.begin(), outside.end(), i)});
  }
  // What is open before a bracket: nothing, a "[" that begins no code, the
  // owner's code, a code that outside text began.
  enum State { kNone, kPlain, kOwnCode, kTheirCode };
  constexpr std::size_t kNever = SIZE_MAX / 4;
  const auto after = [](const Bracket& b) {  // ... once bracket b stays
    return !b.open ? kNone : !b.begins ? kPlain : b.theirs ? kTheirCode : kOwnCode;
  };
  // fewest[k][state]: the fewest changes from bracket k on.
  std::vector<std::array<std::size_t, 4>> fewest(brackets.size() + 1, {0, 0, 0, 0});
  const auto kept = [&](std::size_t k, State state) {  // ... when bracket k stays
    const Bracket& b = brackets[k];
    const bool breaks = (b.theirs && state == kOwnCode) || (!b.open && state == kTheirCode);
    return breaks ? kNever : fewest[k + 1][after(b)];
  };
  const auto changed = [&](std::size_t k, State state) {
    return brackets[k].theirs ? 1 + fewest[k + 1][state] : kNever;
  };
  for (std::size_t k = brackets.size(); k-- > 0;) {
    for (State state : {kNone, kPlain, kOwnCode, kTheirCode}) {
      fewest[k][state] = std::min(kept(k, state), changed(k, state));
    }
  }
  std::string out;
  std::size_t done = 0;
  State state = kNone;
  for (std::size_t k = 0; k < brackets.size(); ++k) {
    const Bracket& b = brackets[k];
    if (changed(k, state) < kept(k, state)) {
      out.append(sent, done, b.at - 1 - done);
      out += '?';
      done = b.at + 1;
    } else {
      state = after(b);
    }
  }
  out.append(sent, done);
  return out;
}

// One reply on its way to one host.
class HostCodes {
 public:
  HostCodes(const ReplyText& t, const HostProfile& host, std::string_view delivered)
      : t_(t), s_(t.text()), host_(host), delivered_(delivered) {}

  std::string Run() {
    out_.reserve(s_.size());
    for (std::size_t pos = 0; pos < s_.size();) {
      if (nextDropped_ < dropped_.size() && pos == dropped_[nextDropped_].first) {
        // A lead byte alone before blanks left out would take the byte after
        // them as its second: it goes out as the "?" a code page reads.
        if (loneLeadEnd_ == out_.size()) out_.back() = '?';
        pos = dropped_[nextDropped_++].second;
        continue;
      }
      const bool written = Written(t_, pos);
      if (s_[pos] == '[') {
        pos = written ? WrittenOpen(pos) : OutsideOpen(pos);
      } else if (s_[pos] == ']' && !written) {
        out_ += pos < codeEnd_ || ClosesCode(pos) ? InertClose(host_) : "]";
        ++pos;
      } else if (const std::size_t start = BraceCodeStart(pos); start != text::npos) {
        pos = InertBraceCode(pos, start);
      } else {
        const std::size_t length = text::CharLength(s_, pos);
        if (SecondByteBracket(pos)) outsideBrackets_.push_back(out_.size() + 1);
        out_.append(s_, pos, length);
        if (length == 1 && text::IsLeadByte(static_cast<unsigned char>(s_[pos]))) loneLeadEnd_ = out_.size();
        pos += length;
      }
    }
    return WithoutOutsideCodes(std::move(out_), outsideBrackets_);
  }

 private:
  // A written "[": a code that runs to the first written "]" after it (the
  // owner's brackets alone decide a code's extent). It becomes the host's
  // code when it is wholly written, or when the bytes put in it (outside
  // bytes and ids) make nothing they may not; otherwise its bracket is
  // written inert. Returns where the scan goes on.
  std::size_t WrittenOpen(std::size_t open) {
    const std::size_t close = writtenClose_.At(open + 1);
    if (putIn_.At(open) < close) {
      if (writtenOpen_.At(open + 1) < close || !PutInBytesAllowed(open, close)) {
        out_ += InertOpen(host_);
        return open + 1;
      }
      DropBlanksAroundAddresses(open, close);
    }
    codeEnd_ = close;
    struct Neutral {
      std::string_view opener, webCode, fileCode;
    };
    const Neutral neutral[] = {{"[P=", host_.pictureCode, host_.pictureFileCode},
                               {"[V=", host_.voiceCode, host_.voiceFileCode}};
    for (const Neutral& n : neutral) {
      if (n.webCode.empty() || !StartsAt(s_, open, n.opener, Case::IgnoreAscii)) continue;
      // The same value as the check of its outside bytes: blanks around it
      // do not count.
      const std::size_t path = open + n.opener.size();
      out_ += IsWebAddress(Trimmed(std::string_view(s_).substr(path, close - path))) ? n.webCode : n.fileCode;
      return path;
    }
    out_ += '[';
    return open + 1;
  }

  // What the bytes put in the code [open, close) that holds no other written
  // "[" may be. Outside bytes and ids: none in its name, nor in the blanks
  // before it, nor the "=" or "," after it; none of its commas where the
  // host splits codes at commas; only digits in a mention; a web address as
  // a picture's or voice's file, as the host reads it (on a host that does
  // not split its codes at commas, to the code's "]"). Each piece between
  // commas is looked at too, as a host that splits there reads it. A local
  // path, whatever its key, is looked at as the host reads it: to the
  // code's "]", blanks and control bytes before it included, and, on a host
  // that splits its codes at commas, to the next comma.
  bool PutInBytesAllowed(std::size_t open, std::size_t close) const {
    std::size_t nameEnd = AfterBlanks(s_, open + 1, close);
    while (nameEnd < close && IsNameByte(s_[nameEnd])) ++nameEnd;
    if (nameEnd < close && (s_[nameEnd] == '=' || s_[nameEnd] == ',')) ++nameEnd;
    if (!t_.All(open, nameEnd, Origin::Written)) return false;
    const bool commas = host_.splitsCodesAtCommas, mention = IsMentionCode(s_, open);
    for (std::size_t i = open; i < close; ++i) {
      if (!Written(t_, i) && ((commas && s_[i] == ',') || (mention && !IsDigit(s_[i])))) return false;
    }
    std::vector<KeyValue> keys = KeyValues(s_, open + 1, close);
    if (!commas) {
      const std::vector<KeyValue> read = KeyValuesAsRead(s_, open + 1, close, commas);
      keys.insert(keys.begin(), read.begin(), read.end());
    }
    std::size_t looked = open;  // the path looked at whole reaches here
    for (const KeyValue& k : keys) {
      if (k.begin < looked || t_.All(k.begin, close, Origin::Written)) continue;
      if ((!IsFileKey(k.key) || IsWebAddress(k.value)) && !NamesLocalFile(k.value)) continue;
      // From the key's "=", blanks after it included: a path of blanks
      // alone, or one that outside blanks begin, is outside text's too.
      const std::size_t path = s_.find('=', k.begin) + 1;
      // ISky reads its file addresses decoded.
      const bool address =
          host_.deliveredMedia == DeliveredMedia::CqCodes || text::StartsWith(k.value, "file:", Case::IgnoreAscii);
      if (!PathAllowed(path, close, address) || (commas && !PathAllowed(path, k.end, address))) {
        return false;
      }
      looked = commas ? k.end : close;
    }
    return true;
  }

  // A web address that outside bytes help to make goes to the host as it
  // was checked, the whole address the host reads: without the blanks
  // around it (a line break or a space before the address the message gave).
  void DropBlanksAroundAddresses(std::size_t open, std::size_t close) {
    for (const KeyValue& k : KeyValuesAsRead(s_, open + 1, close, host_.splitsCodesAtCommas)) {
      const std::size_t value = static_cast<std::size_t>(k.value.data() - s_.data());
      const std::size_t begin = s_.find('=', k.begin) + 1, end = value + k.value.size();
      if (!IsWebAddress(k.value) || !t_.AnyOutside(begin, k.end)) continue;
      for (const auto& blanks : {std::pair{begin, value}, std::pair{end, k.end}}) {
        if (blanks.first < blanks.second) dropped_.push_back(blanks);
      }
    }
  }

  // Whether what was put in the local path [begin, end) makes names only:
  // outside bytes the last one, after a separator the owner wrote (a file
  // in the owner's folder); each name that they or an id help to make a
  // plain one.
  bool PathAllowed(std::size_t begin, std::size_t end, bool address) const {
    std::size_t name = begin;
    for (std::size_t pos = begin; pos < end; pos += text::CharLength(s_, pos)) {
      if (s_[pos] != '\\' && s_[pos] != '/') continue;
      if (!PlainName(name, pos, address)) return false;
      name = pos + 1;
    }
    if (t_.AnyOutside(begin, name) || (name == begin && t_.AnyOutside(begin, end))) return false;
    return PlainName(name, end, address);
  }

  // Whether the name [begin, end) is the owner's or one plain name of a
  // file as it is sent: Windows opens it as the file it names; what was put
  // in holds no character that a name cannot hold (among them "?", also
  // where a character goes out as "?" or the host's code page reads one: a
  // lead byte that no trail byte follows), nor, where the host reads the path
  // as an address, "%" (which it decodes) or "#" (where the address's path
  // ends, as at "?"), neither as it stands nor in the escape an outside
  // bracket goes out as ("&#91;"); and no ".." stands in a name that
  // outside text helps to make.
  bool PlainName(std::size_t begin, std::size_t end, bool address) const {
    if (t_.All(begin, end, Origin::Written)) return true;
    const std::string_view name = std::string_view(s_).substr(begin, end - begin);
    if (t_.AnyOutside(begin, end) && name.find("..") != std::string_view::npos) return false;
    constexpr std::string_view kRefused = "<>:\"|?*", kRefusedInAddress = "%#";
    const auto refused = [&](char c) {
      return static_cast<unsigned char>(c) < ' ' || kRefused.find(c) != std::string_view::npos ||
             (address && kRefusedInAddress.find(c) != std::string_view::npos);
    };
    for (std::size_t pos = begin; pos < end; pos += text::CharLength(s_, pos)) {
      const char c = s_[pos];
      // An outside bracket in the owner's code goes out inert.
      const std::string_view sent =
          c == '[' ? InertOpen(host_) : c == ']' ? InertClose(host_) : name.substr(pos - begin, 1);
      if (t_.origin(pos) != Origin::Written && std::any_of(sent.begin(), sent.end(), refused)) return false;
      if (SecondByteBracket(pos) || BraceCodeOnSecondByte(pos) || LoneLeadByte(pos)) return false;
    }
    return !NamesAnotherFile(name);
  }

  // Whether the character at `pos` is a lead byte alone, it or the byte
  // after it outside text's: the host's code page reads it as "?".
  bool LoneLeadByte(std::size_t pos) const {
    return text::IsLoneLeadByte(s_, pos) && t_.AnyOutside(pos, std::min(pos + 2, s_.size()));
  }

  // Whether the character at `pos` is outside text's double-byte one whose
  // second byte is "[" or "]". In the owner's code every such character
  // goes out as "?" (see WithoutOutsideCodes).
  bool SecondByteBracket(std::size_t pos) const {
    return text::CharLength(s_, pos) == 2 && (s_[pos + 1] == '[' || s_[pos + 1] == ']') && t_.AnyOutside(pos, pos + 2);
  }

  // Whether a host's code in braces begins on the second byte of the
  // character at `pos`, which is outside text's: that character goes out
  // as "?".
  bool BraceCodeOnSecondByte(std::size_t pos) const {
    const std::size_t start = BraceCodeStart(pos);
    return start != text::npos && start > pos && t_.AnyOutside(pos, start + 1);
  }

  // An outside "[": inert where it could begin a code or stands in the
  // owner's; a picture, voice or face code of the host's own ids that came
  // whole from the incoming message and stood there as the host delivered
  // it passes as it is.
  std::size_t OutsideOpen(std::size_t open) {
    if (open < codeEnd_) {
      out_ += InertOpen(host_);
      return open + 1;
    }
    const std::size_t close = anyClose_.At(open + 1);
    if (close < s_.size() && anyOpen_.At(open + 1) > close) {
      const std::string_view code = std::string_view(s_).substr(open, close + 1 - open);
      if (IsHostMediaCode(code, host_.deliveredMedia) && t_.All(open, close + 1, Origin::Message) &&
          Delivered().contains(code)) {
        out_.append(code);
        return close + 1;
      }
    }
    out_ += BeginsCode(s_, open) ? InertOpen(host_) : "[";
    return open + 1;
  }

  // Whether the "]" at `close` ends what a host could read as a code: the
  // "[" byte nearest before it, with no "]" byte between, could begin one.
  bool ClosesCode(std::size_t close) const {
    const std::size_t open = std::string_view(s_).substr(0, close).find_last_of("[]");
    return open != std::string_view::npos && s_[open] == '[' && BeginsCode(s_, open);
  }

  // Where the host's code in braces begins that stands at `pos` and holds
  // outside bytes: at `pos`, or on the second byte of the character there,
  // where a host that reads bytes finds it; npos when none does.
  std::size_t BraceCodeStart(std::size_t pos) const {
    const std::string_view code = host_.braceCode;
    if (code.empty()) return text::npos;
    for (const std::size_t start : {pos, pos + text::CharLength(s_, pos) - 1}) {
      if (StartsAt(s_, start, code) && t_.AnyOutside(pos, start + code.size())) return start;
    }
    return text::npos;
  }

  // That code inert: in full-width braces, or, when it begins on a
  // character's second byte, that character as "?" when it is outside
  // text's, the closing brace full-width when it is the owner's.
  std::size_t InertBraceCode(std::size_t pos, std::size_t start) {
    const std::string_view code = host_.braceCode;
    if (BraceCodeOnSecondByte(pos)) {
      out_ += '?';
      return start + 1;
    }
    out_ += start > pos ? std::string_view(s_).substr(pos, 2) : "｛";
    out_.append(code.substr(1, code.size() - 2));
    out_ += "｝";
    return start + code.size();
  }

  const std::unordered_set<std::string_view>& Delivered() {
    if (!deliveredCodes_) deliveredCodes_ = DeliveredCodes(delivered_);
    return *deliveredCodes_;
  }

  const ReplyText& t_;
  const std::string& s_;
  const HostProfile& host_;
  std::string_view delivered_;
  std::optional<std::unordered_set<std::string_view>> deliveredCodes_;
  std::string out_;
  std::vector<std::size_t> outsideBrackets_;  // where the second bytes of outside characters are "[" or "]"
  std::size_t codeEnd_ = 0;  // the end of the owner's last code the host reads (its written "]")
  std::vector<std::pair<std::size_t, std::size_t>> dropped_;  // blanks not sent, in order
  std::size_t nextDropped_ = 0;
  std::size_t loneLeadEnd_ = 0;  // where a lead byte alone that was sent last ends in `out_`
  NextOf writtenClose_{t_, [](const ReplyText& t, std::size_t p) { return t.text()[p] == ']' && Written(t, p); }};
  NextOf writtenOpen_{t_, [](const ReplyText& t, std::size_t p) { return t.text()[p] == '[' && Written(t, p); }};
  NextOf putIn_{t_, [](const ReplyText& t, std::size_t p) { return t.origin(p) != Origin::Written; }};
  NextOf anyClose_{t_, [](const ReplyText& t, std::size_t p) { return t.text()[p] == ']'; }};
  NextOf anyOpen_{t_, [](const ReplyText& t, std::size_t p) { return t.text()[p] == '['; }};
};

}  // namespace

ZOQ_HOT std::string NormalizeIncomingText(std::string_view in, std::int32_t hostType) {
  const HostProfile& host = HostProfileOf(hostType);
  std::string s(in);
  if (!host.escapedOpen.empty()) {
    s = text::ReplaceAll(text::ReplaceAll(s, host.escapedOpen, "[", Case::IgnoreAscii), host.escapedClose, "]",
                         Case::IgnoreAscii);
  }
  return Folded(std::move(s), 0, kIncomingCodes.size());
}

bool MentionsAccount(std::string_view delivered, const std::string& account) {
  return text::Contains(Folded(std::string(delivered), kMentionOpeners, kStoredBrackets), "[@" + account + "]");
}

std::string FirstMentionedNumber(std::string_view text, std::string_view delivered) {
  // The numbers of the mentions the host made, each "[@" digits "]".
  const auto mentions = [](std::string_view s, auto&& each) {
    for (std::size_t pos = text::Find(s, "[@"); pos != text::npos; pos = text::Find(s, "[@", pos + 2)) {
      std::size_t end = pos + 2;
      while (end < s.size() && IsDigit(s[end])) ++end;
      if (end > pos + 2 && end < s.size() && s[end] == ']' && each(s.substr(pos + 2, end - pos - 2))) return;
    }
  };
  const std::string real = Folded(std::string(delivered), kMentionOpeners, kStoredBrackets);
  std::unordered_set<std::string_view> made;
  mentions(real, [&](std::string_view number) {
    made.insert(number);
    return false;
  });
  std::string first;
  mentions(text, [&](std::string_view number) {
    if (made.contains(number)) first = number;
    return !first.empty();
  });
  return first;
}

// `in` when each of its characters is of one origin; otherwise `out`, `in`
// with those characters split (ReplyText::SplitCharactersAcrossOrigins):
// no byte of outside text goes out as one character with one the owner wrote.
const ReplyText& CharactersOfOneOrigin(const ReplyText& in, ReplyText& out) {
  if (!in.HasCharacterAcrossOrigins()) return in;
  if (&in != &out) out = in;
  out.SplitCharactersAcrossOrigins();
  return out;
}

ZOQ_HOT std::string ToHostCodes(const ReplyText& reply, std::int32_t hostType, std::string_view delivered) {
  ReplyText changed;
  const ReplyText& t = CharactersOfOneOrigin(WithBrackets(reply, changed), changed);
  const HostProfile& host = HostProfileOf(hostType);
  // No byte of a bracket, nor outside text where the host has a code of
  // braces: nothing to turn, the text goes as it is.
  const std::string& s = t.text();
  const bool brackets = std::any_of(s.begin(), s.end(), [](char c) { return c == '[' || c == ']'; });
  if (!brackets && (host.braceCode.empty() || !t.AnyOutside(0, s.size()))) return s;
  return HostCodes(t, host, delivered).Run();
}

ZOQ_HOT void SendReply(const MessageRecord& record, const ReplyText& reply) {
  const std::string message = ToHostCodes(reply, Plugin().HostType, record.delivered);
  if (message.empty()) return;
  const bool guild = record.kind == MessageKind::Channel || record.kind == MessageKind::ChannelDirect;
  if (!guild && record.kind != MessageKind::Private && record.kind != MessageKind::Group) return;
  const HostProfile& host = guild ? GuildHost() : ActiveHost();
  host.send(Hosts(), record, message);
}

}  // namespace zoq
