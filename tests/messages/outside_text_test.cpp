// What outside text may make, as a test of its own: pieces made of pairs of
// the atoms at which hosts split or join what they read (every lead byte,
// the blanks, brackets, braces, commas, "=", "&", line breaks, a web
// address's beginning, a drive, a code's name), brought by the message and
// by a web answer into every owner's code shape that holds outside text
// (picture, voice, file, mention, face, share and each host's own codes;
// the variable at the start, the middle and the end), sent through the
// real DLL to every host's fake API. What each host receives is read by two
// readers written here apart from the plug-in, one taking bytes and one
// taking characters as code page 936 makes them; neither may find a live
// code, parameter, path or variable that outside bytes made, nor a byte of
// outside text in one character with a byte the owner wrote, and no action
// may run. The pairs are dealt out to the hosts in a seeded order: each
// pair goes through one host on every run (the seed is printed; another
// comes from ZOQ_OUTSIDE_TEXT_SEED).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>

#include "tests/messages/session.hpp"
#include "tests/web/web_server.hpp"

namespace zoq::testing {
namespace {

constexpr std::size_t kNone = std::string::npos;

unsigned char Byte(const std::string& s, std::size_t i) { return static_cast<unsigned char>(s[i]); }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigitByte(char c) { return c >= '0' && c <= '9'; }
bool StartsWithNoCase(const std::string& s, const std::string& prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if ((s[i] | 0x20) != (prefix[i] | 0x20)) return false;
  }
  return true;
}

// The bytes, those that are no printable ASCII as "\xNN".
std::string Printed(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    char hex[5];
    if (c >= 0x20 && c < 0x7F) out += static_cast<char>(c);
    else std::snprintf(hex, sizeof hex, "\\x%02X", c), out += hex;
  }
  return out;
}

// ---- The outside pieces.

// The lead bytes first.
constexpr std::size_t kLeadBytes = 0xFE - 0x81 + 1;
std::vector<std::string> Atoms() {
  std::vector<std::string> atoms;
  for (int b = 0x81; b <= 0xFE; ++b) atoms.emplace_back(1, static_cast<char>(b));
  for (const char* a : {" ", "\t", "\x0B", "\x0C", "\xA1\xA1", "\r", "\n", "[", "]", "{", "}", ",", "=", "&",
                        "http://", "C:", "pic", "CQ:image", "提示"}) {
    atoms.emplace_back(a);
  }
  return atoms;
}

std::uint32_t Seed() {
  const char* chosen = std::getenv("ZOQ_OUTSIDE_TEXT_SEED");
  return chosen && *chosen ? static_cast<std::uint32_t>(std::strtoul(chosen, nullptr, 0)) : 20260705u;
}

// A piece of outside text, and whether a web answer brings it too.
struct Piece {
  std::string text;
  bool web;
};

// Every ordered pair of atoms, in the seed's order; the pairs at `share`,
// `share` + `shares`, ... A web answer is text of whole characters (it comes
// as UTF-8): it brings each pair without a lead byte, and one in 64 of the
// others.
std::vector<Piece> PairsDealt(std::uint32_t seed, std::size_t share, std::size_t shares) {
  const std::vector<std::string> atoms = Atoms();
  std::vector<Piece> pairs;
  for (std::size_t a = 0; a < atoms.size(); ++a) {
    for (std::size_t b = 0; b < atoms.size(); ++b) {
      pairs.push_back({atoms[a] + atoms[b], a >= kLeadBytes && b >= kLeadBytes});
    }
  }
  std::mt19937 random(seed);
  for (std::size_t i = pairs.size() - 1; i > 0; --i) std::swap(pairs[i], pairs[random() % (i + 1)]);
  std::vector<Piece> dealt;
  for (std::size_t i = share; i < pairs.size(); i += shares) {
    dealt.push_back(pairs[i]);
    dealt.back().web = dealt.back().web || i % (64 * shares) == share;
  }
  return dealt;
}

// ---- The owners' codes that hold outside text.

// What outside text may be in a live code: a file (a web address, or one
// plain name in a folder the owner wrote), a mention's number, anything that
// names no local file, or nothing (a code in braces).
enum class Holds { File, Number, Text, Nothing };

// A code as the owner writes it, the variable between `open` and `close`.
struct Shape {
  std::string open, close;
  Holds holds;
};

// How one host reads and writes its codes.
struct HostCodes {
  bool commas = false;   // splits a code's values at commas
  bool braces = false;   // has the code "{提示}"
  bool addresses = false;  // reads a local file as a file address (percent escapes decoded)
  std::vector<std::string> picture, voice;  // what "[P=" and "[V=" become
  std::string inertOpen = "［";
  std::vector<Shape> own;
};

HostCodes CodesOf(const std::string& host) {
  HostCodes h;
  if (host == "ISky") {
    h.commas = h.addresses = true;
    h.picture = {"[CQ:image,file=file:///", "[CQ:image,file="};
    h.voice = {"[CQ:record,file=file:///", "[CQ:record,file="};
    h.inertOpen = "&#91;";
    h.own = {{"[CQ:image,file=", "]", Holds::File},
             {"[CQ:image,file=file:///C:/pics/", ".png]", Holds::File},
             {"[CQ:image,file=", ",cache=0]", Holds::File},
             {"[CQ:record,file=", "]", Holds::File},
             {"[CQ:at,qq=", "]", Holds::Number},
             {"[CQ:face,id=", "]", Holds::Text},
             {"[CQ:share,url=", ",title=t]", Holds::Text},
             {"[CQ:share,url=http://e.test/,title=", "]", Holds::Text}};
  } else if (host == "Table") {
    h.commas = true;
    h.picture = {"[picFile,path="};
    h.voice = {"[AudioFile,path="};
    h.own = {{"[picFile,path=", "]", Holds::File},
             {"[picFile,path=C:\\pics\\", ".png]", Holds::File},
             {"[AudioFile,path=C:\\pics\\", "]", Holds::File},
             {"[@", "]", Holds::Number}};
  } else {
    h.picture = {"[pic="};
    h.voice = {"[voi="};
    h.own = {{"[pic=", "]", Holds::File},
             {"[pic=C:\\pics\\", "]", Holds::File},
             {"[voi=", ".amr]", Holds::File},
             {"[@", "]", Holds::Number},
             {"[at=", "]", Holds::Number},
             {"[Face", ".gif]", Holds::Text}};
    if (host == "WX") {
      h.braces = true;
      h.own.insert(h.own.end(),
                   {{"{", "}", Holds::Nothing}, {"", "提示}", Holds::Nothing}, {"{提示", "", Holds::Nothing}});
    }
  }
  return h;
}

std::vector<Shape> ShapesOf(const HostCodes& h) {
  std::vector<Shape> shapes{{"[P=", "]", Holds::File},
                            {"[P=http://e.test/", "]", Holds::File},
                            {"[P=http://e.test/", "/a.png]", Holds::File},
                            {"[P=", ".png]", Holds::File},
                            {"[P=C:\\pics\\", ".png]", Holds::File},
                            {"[P=C:\\pics\\", ".png,wide=200,high=200]", Holds::File},
                            {"[V=", "]", Holds::File},
                            {"[V=C:\\pics\\", "]", Holds::File},
                            {"[", "]", Holds::Text}};
  shapes.insert(shapes.end(), h.own.begin(), h.own.end());
  return shapes;
}

// The owner's marks between the codes: bytes no outside piece holds ("Z").
std::string Mark(std::size_t i) { return "#Z" + std::to_string(i) + "#"; }

std::string Template(const std::vector<Shape>& shapes, const std::string& variable) {
  std::string t;
  for (std::size_t i = 0; i < shapes.size(); ++i) t += Mark(i) + shapes[i].open + variable + shapes[i].close;
  return t + Mark(shapes.size());
}

// ---- Two readers.

// Where the units of `s` begin: each byte, or each character as code page
// 936 reads it (a lead byte 81-FE with a trail byte 40-7E or 80-FE after
// it; any other byte alone).
std::vector<std::size_t> Units(const std::string& s, bool characters) {
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < s.size(); ++i) {
    starts.push_back(i);
    const bool lead = Byte(s, i) >= 0x81 && Byte(s, i) <= 0xFE;
    const bool trail = i + 1 < s.size() && Byte(s, i + 1) >= 0x40 && Byte(s, i + 1) != 0x7F && Byte(s, i + 1) != 0xFF;
    if (characters && lead && trail) ++i;
  }
  return starts;
}

// Past the blanks at `pos`: bytes 01-20 and the full-width space A1 A1.
std::size_t SkipBlanks(const std::string& s, std::size_t pos, std::size_t end) {
  while (pos < end) {
    if (Byte(s, pos) >= 0x01 && Byte(s, pos) <= 0x20) ++pos;
    else if (pos + 1 < end && Byte(s, pos) == 0xA1 && Byte(s, pos + 1) == 0xA1) pos += 2;
    else break;
  }
  return pos;
}

// Where the name of a code whose body begins at `body` ends, its "=", ","
// or ":" included: "@", or an ASCII letter and letters, digits, "_", "-",
// spaces and tabs up to one of those. kNone: the body names no code.
std::size_t NameEnd(const std::string& s, std::size_t body, std::size_t end) {
  std::size_t pos = SkipBlanks(s, body, end);
  if (pos < end && s[pos] == '@') return pos + 1;
  if (pos >= end || !IsLetter(s[pos])) return kNone;
  const auto named = [&](char c) { return IsLetter(c) || IsDigitByte(c) || c == '_' || c == '-' || c == ' ' || c == '\t'; };
  while (pos < end && named(s[pos])) ++pos;
  return pos < end && (s[pos] == '=' || s[pos] == ',' || s[pos] == ':') ? pos + 1 : kNone;
}

// A code a host finds: [begin, end).
struct Found {
  std::size_t begin, end;
};

// The codes a host finds reading units: a "[" with the first "]" after it
// and no "[" between, that names a code; on a host with one, each "{提示}".
std::vector<Found> CodesRead(const std::string& s, bool characters, bool braces) {
  const std::vector<std::size_t> units = Units(s, characters);
  std::vector<Found> codes;
  std::size_t open = kNone;
  for (std::size_t k = 0; k < units.size(); ++k) {
    const std::size_t at = units[k], length = (k + 1 < units.size() ? units[k + 1] : s.size()) - at;
    if (length == 1 && s[at] == '[') open = at;
    if (length == 1 && s[at] == ']' && open != kNone) {
      if (NameEnd(s, open + 1, at) != kNone) codes.push_back({open, at + 1});
      open = kNone;
    }
    if (braces && s.compare(at, 6, "{提示}") == 0) codes.push_back({at, at + 6});
  }
  return codes;
}

// ---- What the readers judge.

// One owner's code as it was sent: the owner's bytes before the outside
// text [x, xEnd) and after it, up to `end`; `live` when the opening went
// out as a code.
struct Placed {
  const Shape* shape;
  std::size_t begin, x, xEnd, end;
  bool live;
};

class Judge {
 public:
  Judge(const HostCodes& host, const std::vector<Shape>& shapes) : host_(host), shapes_(shapes) {}

  // The faults of `sent`, empty when there is none.
  std::vector<std::string> Faults(const std::string& sent) {
    faults_.clear();
    sent_ = &sent;
    if (Place()) {
      CharactersOfOneOrigin();
      for (bool characters : {false, true}) {
        for (const Found& code : CodesRead(sent, characters, host_.braces)) Judge1(code, characters);
      }
      for (const Placed& p : placed_) {
        if (p.live && p.shape->holds != Holds::Nothing) ValueAllowed(p);
      }
      // No variable: none gives a text that the pieces do not hold (digits,
      // the data folder); the ISky escapes of brackets aside.
      std::string outside;
      for (const Placed& p : placed_) outside += sent.substr(p.x, p.xEnd - p.x);
      for (const char* escape : {"&#91;", "&#93;"}) {
        for (std::size_t at; (at = outside.find(escape)) != kNone;) outside.erase(at, 5);
      }
      if (outside.find_first_of("0123456789") != kNone || outside.find("ZOQ") != kNone) {
        Fault("a variable in outside text", 0, sent.size());
      }
    }
    return faults_;
  }

 private:
  void Fault(const std::string& what, std::size_t begin = 0, std::size_t end = 0) {
    faults_.push_back(what + (end > begin ? ": " + Printed(s().substr(begin, end - begin)) : ""));
  }
  const std::string& s() const { return *sent_; }
  bool Outside(std::size_t pos) const { return outside_[pos]; }
  bool AnyOutside(std::size_t begin, std::size_t end) const {
    for (std::size_t i = begin; i < end; ++i) {
      if (outside_[i]) return true;
    }
    return false;
  }

  // Finds each owner's code between the marks: its opening as the host's
  // code or inert, its closing as written (or full-width, where the host
  // made a code in braces inert), outside text between.
  bool Place() {
    placed_.clear();
    outside_.assign(s().size(), false);
    std::size_t from = 0;
    for (std::size_t i = 0; i < shapes_.size(); ++i) {
      const std::string mark = Mark(i), next = Mark(i + 1);
      const std::size_t begin = s().find(mark, from);
      const std::size_t end = begin == kNone ? kNone : s().find(next, begin + mark.size());
      if (begin == kNone || end == kNone || end < begin + mark.size()) {
        Fault("the owner's marks " + mark + " " + next + " are not in place", 0, s().size());
        return false;
      }
      const Shape& shape = shapes_[i];
      const std::size_t b = begin + mark.size();
      const std::string segment = s().substr(b, end - b);
      std::size_t openLength = kNone, closeLength = kNone;
      bool live = false;
      for (const auto& [open, isLive] : Openings(shape.open)) {
        if (segment.starts_with(open) && (openLength == kNone || open.size() > openLength)) {
          openLength = open.size();
          live = isLive;
        }
      }
      for (const std::string& close : {shape.close, Inert(shape.close, "}", "｝")}) {
        if (segment.ends_with(close)) closeLength = close.size();
      }
      if (openLength == kNone || closeLength == kNone || openLength + closeLength > segment.size()) {
        Fault("the owner's code " + Printed(shape.open) + "..." + Printed(shape.close) + " went out as", b, end);
        return false;
      }
      placed_.push_back({&shape, b, b + openLength, end - closeLength, end, live});
      std::fill(outside_.begin() + static_cast<std::ptrdiff_t>(b + openLength),
                outside_.begin() + static_cast<std::ptrdiff_t>(end - closeLength), true);
      from = end;
    }
    return true;
  }

  static std::string Inert(const std::string& written, const std::string& bracket, const std::string& inert) {
    return written.starts_with(bracket) ? inert + written.substr(bracket.size())
           : written.ends_with(bracket) ? written.substr(0, written.size() - bracket.size()) + inert
                                        : written;
  }

  // The forms the opening may take, and whether each is a live code.
  std::vector<std::pair<std::string, bool>> Openings(const std::string& open) const {
    std::vector<std::pair<std::string, bool>> forms{{open, !open.empty()}};
    for (const auto& [neutral, codes] : {std::pair{"[P=", &host_.picture}, std::pair{"[V=", &host_.voice}}) {
      if (!open.starts_with(neutral)) continue;
      forms.clear();
      for (const std::string& code : *codes) forms.emplace_back(code + open.substr(3), true);
    }
    if (open.starts_with("[")) forms.emplace_back(host_.inertOpen + open.substr(1), false);
    if (open.starts_with("{")) forms.emplace_back(Inert(open, "{", "｛"), false);
    return forms;
  }

  // Outside text begins and ends where a character does.
  void CharactersOfOneOrigin() {
    const std::vector<std::size_t> units = Units(s(), true);
    const auto starts = [&](std::size_t pos) {
      return pos == s().size() || std::binary_search(units.begin(), units.end(), pos);
    };
    for (const Placed& p : placed_) {
      if (!starts(p.x) || !starts(p.xEnd)) Fault("outside text in one character with the owner's byte", p.begin, p.end);
    }
  }

  // A code a reader found: only the owner's own, live, named by the owner.
  void Judge1(const Found& code, bool characters) {
    const std::string reader = characters ? " (read as characters)" : " (read as bytes)";
    const auto fault = [&](const std::string& what) { Fault(what + reader, code.begin, code.end); };
    const auto owners = std::find_if(placed_.begin(), placed_.end(), [&](const Placed& p) {
      return p.live && p.begin == code.begin && p.end == code.end;
    });
    if (owners == placed_.end()) {
      fault(AnyOutside(code.begin, code.end) ? "a code outside text made" : "a code where the owner wrote none");
      return;
    }
    if (s()[code.begin] == '{') {
      if (AnyOutside(code.begin, code.end)) fault("a code in braces with outside bytes");
      return;
    }
    const std::size_t nameEnd = NameEnd(s(), code.begin + 1, code.end - 1);
    if (AnyOutside(code.begin, nameEnd)) fault("outside bytes in a code's name");
    if (host_.commas && s().substr(owners->x, owners->xEnd - owners->x).find(',') != kNone) {
      fault("a parameter from outside");
    }
  }

  // The value that holds the outside text of a live owner's code, as the
  // host reads it: a number in a mention; else a web address, or a local
  // path whose outside bytes make one plain name after a separator the owner
  // wrote; and nothing that names a local file where the code is no file's.
  void ValueAllowed(const Placed& p) {
    const std::string x = s().substr(p.x, p.xEnd - p.x);
    if (p.shape->holds == Holds::Number) {
      if (x.find_first_not_of("0123456789") != kNone) Fault("a mention of no number", p.begin, p.end);
      return;
    }
    // The piece that holds the outside text: the code's body after its
    // name, between commas where the host splits there; its value after
    // the name's "=" or the piece's first "=".
    const std::size_t bodyEnd = p.end - 1, nameEnd = NameEnd(s(), p.begin + 1, bodyEnd);
    if (nameEnd == kNone || (host_.commas && x.find(',') != kNone)) return;  // no code, or a parameter: judged
    std::size_t piece = nameEnd, end = bodyEnd;
    if (host_.commas) {
      const std::size_t comma = s().rfind(',', p.x - 1);
      if (comma != kNone && comma >= nameEnd) piece = comma + 1;
      end = std::min(s().find(',', p.xEnd), bodyEnd);
    }
    const std::size_t eq = piece == nameEnd && s()[nameEnd - 1] == '=' ? nameEnd - 1 : s().find('=', piece);
    if (eq >= p.x || eq >= end) return;  // outside text in the key: the name's test
    std::size_t vb = SkipBlanks(s(), eq + 1, end), ve = end;
    while (ve > vb && Byte(s(), ve - 1) <= 0x20) --ve;
    const std::string value = s().substr(vb, ve - vb);
    if (StartsWithNoCase(value, "http://") || StartsWithNoCase(value, "https://")) return;
    // A drive, a root, a file address, a backslash or a step up name a file
    // of this machine.
    const bool looksLocal = (value.size() >= 2 && IsLetter(value[0]) && value[1] == ':') ||
                            StartsWithNoCase(value, "file:") || value.starts_with('/') || value.find('\\') != kNone ||
                            value.find("..") != kNone;
    if (p.shape->holds == Holds::File || looksLocal) PlainNameOnly(p, vb, ve, StartsWithNoCase(value, "file:"));
  }

  // The outside bytes of the path [begin, end) make one name after the
  // owner's last separator: none that Windows refuses or reads as another
  // file (a device, trailing dots or blanks), no control byte, no lead byte
  // alone (read as "?"), and where the host decodes the path as an address
  // no "%" or "#".
  void PlainNameOnly(const Placed& p, std::size_t begin, std::size_t end, bool address) {
    const std::vector<std::size_t> units = Units(s(), true);
    std::size_t name = kNone;
    for (std::size_t u : units) {
      if (u >= begin && u < end && (s()[u] == '\\' || s()[u] == '/')) name = u + 1;
    }
    if (name == kNone || Outside(name - 1) || AnyOutside(begin, name)) {
      Fault("a path outside text makes", p.begin, p.end);
      return;
    }
    if (!AnyOutside(name, end)) return;
    const std::string n = s().substr(name, end - name);
    bool plain = !n.empty() && n.find_first_not_of('.') != kNone && !n.ends_with('.') && !n.ends_with(' ');
    for (std::size_t k = 0; k < units.size(); ++k) {
      const std::size_t u = units[k];
      if (u < name || u >= end) continue;
      const bool alone = (k + 1 < units.size() ? units[k + 1] : s().size()) - u == 1;
      const unsigned char c = Byte(s(), u);
      if (alone && (c < 0x20 || std::string_view("<>:\"|?*").find(static_cast<char>(c)) != kNone ||
                    ((address || host_.addresses) && (c == '%' || c == '#')) || (c >= 0x81 && c <= 0xFE))) {
        plain = false;
      }
    }
    std::string stem = n.substr(0, n.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem) c = static_cast<char>(c | 0x20);
    for (const char* device : {"con", "prn", "aux", "nul", "conin$", "conout$"}) plain = plain && stem != device;
    if (stem.size() == 4 && (stem.starts_with("com") || stem.starts_with("lpt")) && stem[3] >= '1' && stem[3] <= '9') {
      plain = false;
    }
    if (!plain) Fault("a name outside text makes is no plain file name", p.begin, p.end);
  }

  const HostCodes& host_;
  const std::vector<Shape>& shapes_;
  const std::string* sent_ = nullptr;
  std::vector<Placed> placed_;
  std::vector<bool> outside_;  // of each byte of the sent text
  std::vector<std::string> faults_;
};

class OutsideTextTest : public ::testing::TestWithParam<HostCase> {};

TEST_P(OutsideTextTest, EveryPairOfAtomsInEveryOwnersCodeMakesNothingAndPairsWithNoByteOfTheOwners) {
  const HostCase& hc = GetParam();
  const std::uint32_t seed = Seed();
  std::printf("outside text pairs: seed %u (another: ZOQ_OUTSIDE_TEXT_SEED)\n", seed);
  RecordProperty("seed", std::to_string(seed));
  const std::span<const HostCase> hosts = AllHostCases();
  const std::size_t share = static_cast<std::size_t>(
      std::find_if(hosts.begin(), hosts.end(), [&](const HostCase& h) { return h.name == std::string(hc.name); }) -
      hosts.begin());
  const std::vector<Piece> pieces = PairsDealt(seed, share, hosts.size());
  ASSERT_GE(pieces.size(), PairsDealt(seed, 0, 1).size() / hosts.size()) << "this host's share of the pairs";

  WebServer web;
  web.Echo("/echo");
  const HostCodes codes = CodesOf(hc.name);
  const std::vector<Shape> shapes = ShapesOf(codes);
  Session s(std::string("outside-") + hc.name, hc,
            {{"SayM.ini", Library({{"zqa", Template(shapes, "[消息]")},
                                   {"zqb", Template(shapes, "[文接口=" + web.base() + "/echo?m=[消息]]")}})}});
  ASSERT_TRUE(s.Start());
  s.TakeCalls();
  // Every piece from the message; some from a web answer too.
  std::vector<std::string> messages;
  for (const Piece& piece : pieces) {
    messages.push_back("zqa" + piece.text);
    if (piece.web) messages.push_back("zqb" + piece.text);
  }
  ASSERT_TRUE(s.Groups(messages));
  const std::vector<FakeCall> calls = s.TakeCalls();
  ASSERT_EQ(calls.size(), messages.size()) << "one send for each message, and no other call";
  Judge judge(codes, shapes);
  int faulty = 0;
  for (std::size_t i = 0; i < calls.size(); ++i) {
    std::string sent;
    if (!IsSend(hc, calls[i], &sent)) {
      ADD_FAILURE() << "not a send: " << calls[i].function << " after " << Printed(messages[i]);
      continue;
    }
    const std::vector<std::string> faults = judge.Faults(sent);
    if (faults.empty() || ++faulty > 20) continue;
    ADD_FAILURE() << "seed " << seed << ", message " << Printed(messages[i]) << "\nsent " << Printed(sent) << "\n"
                  << faults[0] << (faults.size() > 1 ? " (and " + std::to_string(faults.size() - 1) + " more)" : "");
  }
  EXPECT_EQ(faulty, 0) << "messages whose reply outside text changed (the first 20 shown)";
}

INSTANTIATE_TEST_SUITE_P(Hosts, OutsideTextTest, ::testing::ValuesIn(AllHostCases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zoq::testing
