#include "json/script_json.hpp"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/script_control.hpp"
#include "text/text.hpp"

#undef GetObject

namespace zoq::json {
namespace {

// The engine has no JSON object of its own: the script brings a writer and a
// parser (which never evaluates its input), the element count, the text and
// type of a value, and the own member names of an object.
constexpr const wchar_t* kEmbeddedScript = LR"JS(
var JSON, ary = null;
if (typeof JSON != 'object' || JSON === null) JSON = {};
(function () {
  var escapable = /[\\\"\u0000-\u001f\u007f-\u009f\u00ad\u0600-\u0604\u070f\u17b4\u17b5\u200c-\u200f\u2028-\u202f\u2060-\u206f\ufeff\ufff0-\uffff]/g;
  var shortEscapes = {'\b': '\\b', '\t': '\\t', '\n': '\\n', '\f': '\\f', '\r': '\\r', '"': '\\"', '\\': '\\\\'};
  function own(o, k) { return Object.prototype.hasOwnProperty.call(o, k); }
  function isArray(v) { return Object.prototype.toString.call(v) == '[object Array]'; }
  function quote(s) {
    return '"' + s.replace(escapable, function (c) {
      var m = own(shortEscapes, c) ? shortEscapes[c] : null;
      return typeof m == 'string' ? m : '\\u' + ('0000' + c.charCodeAt(0).toString(16)).slice(-4);
    }) + '"';
  }
  function write(v) {
    if (v && typeof v == 'object' && typeof v.toJSON == 'function') v = v.toJSON();
    switch (typeof v) {
      case 'string': return quote(v);
      case 'number': return isFinite(v) ? String(v) : 'null';
      case 'boolean': return String(v);
      case 'object':
        if (v === null) return 'null';
        var parts = [], i, k, s;
        if (isArray(v)) {
          for (i = 0; i < v.length; i++) { s = write(v[i]); parts.push(s === undefined ? 'null' : s); }
          return '[' + parts.join(',') + ']';
        }
        for (k in v) if (own(v, k)) { s = write(v[k]); if (s !== undefined) parts.push(quote(k) + ':' + s); }
        return '{' + parts.join(',') + '}';
    }
    return undefined;
  }
  function parse(t) {
    var at = 0, ch = ' ';
    var escapes = {'"': '"', '\\': '\\', '/': '/', b: '\b', f: '\f', n: '\n', r: '\r', t: '\t'};
    function fail() { throw new Error('not JSON'); }
    function next() { ch = t.charAt(at); at += 1; return ch; }
    function white() { while (ch && ch <= ' ') next(); }
    function digits() { var s = ''; while (ch >= '0' && ch <= '9') { s += ch; next(); } return s; }
    function number() {
      var s = '';
      if (ch == '-') { s = '-'; next(); }
      s += digits();
      if (ch == '.') { s += '.'; next(); s += digits(); }
      if (ch == 'e' || ch == 'E') { s += 'e'; next(); if (ch == '-' || ch == '+') { s += ch; next(); } s += digits(); }
      var n = Number(s);
      if (isNaN(n)) fail();
      return n;
    }
    function string() {
      var s = '', i, h, u;
      if (ch != '"') fail();
      while (next()) {
        if (ch == '"') { next(); return s; }
        if (ch == '\\') {
          next();
          if (ch == 'u') {
            u = 0;
            for (i = 0; i < 4; i++) { h = parseInt(next(), 16); if (isNaN(h)) fail(); u = u * 16 + h; }
            s += String.fromCharCode(u);
          } else if (own(escapes, ch)) s += escapes[ch];
          else fail();
        } else s += ch;
      }
      fail();
    }
    function word() {
      if (t.substr(at - 1, 4) == 'true') { at += 3; next(); return true; }
      if (t.substr(at - 1, 5) == 'false') { at += 4; next(); return false; }
      if (t.substr(at - 1, 4) == 'null') { at += 3; next(); return null; }
      fail();
    }
    function array() {
      var a = [];
      next(); white();
      if (ch == ']') { next(); return a; }
      while (ch) {
        a.push(value()); white();
        if (ch == ']') { next(); return a; }
        if (ch != ',') fail();
        next(); white();
      }
      fail();
    }
    function object() {
      var o = {}, k;
      next(); white();
      if (ch == '}') { next(); return o; }
      while (ch) {
        k = string(); white();
        if (ch != ':') fail();
        next(); o[k] = value(); white();
        if (ch == '}') { next(); return o; }
        if (ch != ',') fail();
        next(); white();
      }
      fail();
    }
    function value() {
      white();
      if (ch == '{') return object();
      if (ch == '[') return array();
      if (ch == '"') return string();
      if (ch == '-' || (ch >= '0' && ch <= '9')) return number();
      return word();
    }
    var r = value(); white();
    if (ch) fail();
    return r;
  }
  if (typeof JSON.stringify != 'function') JSON.stringify = function (v) { return write(v); };
  if (typeof JSON.parse != 'function') JSON.parse = function (t) { return parse(String(t)); };
  if (typeof Date.prototype.toJSON != 'function') {
    Date.prototype.toJSON = function () {
      function p(n) { return n < 10 ? '0' + n : n; }
      return isFinite(this.valueOf()) ? this.getUTCFullYear() + '-' + p(this.getUTCMonth() + 1) + '-' +
          p(this.getUTCDate()) + 'T' + p(this.getUTCHours()) + ':' + p(this.getUTCMinutes()) + ':' +
          p(this.getUTCSeconds()) + 'Z' : null;
    };
  }
})();
Object.prototype.toJSONString = function () { return JSON.stringify(this); };
Object.prototype.parseJSON = function () { return JSON.parse(String(this)); };
function get__count(c) {
  if (c === null || c === undefined) return -2;
  if (Object.prototype.toString.call(c) == '[object Array]') return c.length;
  if (typeof c != 'object') return 0;
  var n = 0;
  for (var k in c) if (Object.prototype.hasOwnProperty.call(c, k)) n++;
  return n;
}
function zoq__number(v) { return isFinite(v) ? String(Number(v.toPrecision(13))) : String(v); }
function zoq__text(v) {
  if (v === null || v === undefined) return '';
  return typeof v == 'number' ? zoq__number(v) : String(v);
}
function zoq__type(v) {
  if (v == null) return 0;
  switch (typeof v) {
    case 'string': return 6;
    case 'object': return Object.prototype.toString.call(v) == '[object Array]' ? 5 : 4;
    case 'number': return 2;
    case 'boolean': return 1;
  }
  return -1;
}
function zoq__keys(c) {
  var a = [];
  if (c !== null && typeof c == 'object') for (var k in c) if (Object.prototype.hasOwnProperty.call(c, k)) a.push(k);
  return a;
}
var da = {};
)JS";

std::wstring Wide(const std::string& gbk) { return platform::GbkToWide(gbk); }

std::wstring Index(std::int32_t i) { return std::to_wstring(i); }

// A JavaScript string literal of the text: every character that could end
// the literal, escape or break a line is written as a "\u" escape.
std::wstring Literal(const std::string& gbk) {
  std::wstring out = L"'";
  for (wchar_t c : Wide(gbk)) {
    if (c == L'\\' || c == L'\'' || c == L'"' || c < 0x20 || c == 0x2028 || c == 0x2029) {
      wchar_t buf[8];
      std::swprintf(buf, 8, L"\\u%04x", static_cast<unsigned>(c));
      out += buf;
    } else {
      out += c;
    }
  }
  return out + L"'";
}

// The expression of a path: "da" alone, "da[...]" or "da." + path.
std::wstring Target(const std::string& path) {
  if (path.empty()) return L"da";
  if (path.front() == '[') return L"da" + Wide(path);
  return L"da." + Wide(path);
}

std::wstring NumberText(double number) {
  if (std::isnan(number)) return L"NaN";
  if (std::isinf(number)) return number > 0 ? L"Infinity" : L"-Infinity";
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.13g", number);
  return Wide(buf);
}

// RFC 8259 syntax on GBK bytes; a double-byte character inside a string is
// taken whole, so its trail byte is never read as a quote or backslash.
class JsonCheck {
 public:
  explicit JsonCheck(const std::string& s) : s_(s) {}
  bool Whole() {
    Blank();
    if (!Value(0)) return false;
    Blank();
    return p_ == s_.size();
  }

 private:
  static constexpr int kDeepest = 256;
  unsigned char At() const { return p_ < s_.size() ? static_cast<unsigned char>(s_[p_]) : 0; }
  bool End() const { return p_ >= s_.size(); }
  void Blank() {
    while (!End() && (At() == ' ' || At() == '\t' || At() == '\r' || At() == '\n')) ++p_;
  }
  bool Word(const char* w) {
    const std::string_view word(w);
    if (s_.compare(p_, word.size(), word) != 0) return false;
    p_ += word.size();
    return true;
  }
  bool Digits() {
    const std::size_t start = p_;
    while (!End() && At() >= '0' && At() <= '9') ++p_;
    return p_ > start;
  }
  bool Number() {
    if (At() == '-') ++p_;
    if (At() == '0') ++p_;
    else if (!Digits()) return false;
    if (At() == '.') {
      ++p_;
      if (!Digits()) return false;
    }
    if (At() == 'e' || At() == 'E') {
      ++p_;
      if (At() == '+' || At() == '-') ++p_;
      if (!Digits()) return false;
    }
    return true;
  }
  bool String() {
    ++p_;  // the opening quote
    while (!End()) {
      const unsigned char c = At();
      if (c == '"') {
        ++p_;
        return true;
      }
      if (c < 0x20) return false;
      if (c == '\\') {
        ++p_;
        const unsigned char e = At();
        if (e == 'u') {
          for (int i = 0; i < 4; ++i) {
            ++p_;
            if (!std::isxdigit(At())) return false;
          }
          ++p_;
        } else if (e && std::string_view("\"\\/bfnrt").find(static_cast<char>(e)) != std::string_view::npos) {
          ++p_;
        } else {
          return false;
        }
        continue;
      }
      p_ += text::CharLength(s_, p_);
    }
    return false;
  }
  bool Value(int depth) {
    if (depth > kDeepest) return false;
    Blank();
    switch (At()) {
      case '{': return Members(depth);
      case '[': return Elements(depth);
      case '"': return String();
      case 't': return Word("true");
      case 'f': return Word("false");
      case 'n': return Word("null");
      default: return (At() == '-' || (At() >= '0' && At() <= '9')) && Number();
    }
  }
  bool Members(int depth) {
    ++p_;
    Blank();
    if (At() == '}') return ++p_, true;
    for (;;) {
      Blank();
      if (At() != '"' || !String()) return false;
      Blank();
      if (At() != ':') return false;
      ++p_;
      if (!Value(depth + 1)) return false;
      Blank();
      if (At() == '}') return ++p_, true;
      if (At() != ',') return false;
      ++p_;
    }
  }
  bool Elements(int depth) {
    ++p_;
    Blank();
    if (At() == ']') return ++p_, true;
    for (;;) {
      if (!Value(depth + 1)) return false;
      Blank();
      if (At() == ']') return ++p_, true;
      if (At() != ',') return false;
      ++p_;
    }
  }

  const std::string& s_;
  std::size_t p_ = 0;
};

}  // namespace

// COM first, the control after it: the control is released before COM is
// undone.
struct ScriptJson::Engine {
  Engine() { com.Enter(); }
  ~Engine() {
    control.reset();
    com.Leave();
  }
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;
  platform::ComApartment com;
  std::unique_ptr<platform::ScriptControl> control;
};

ScriptJson::ScriptJson() { Start(); }

bool ScriptJson::Start() {
  auto engine = std::make_shared<Engine>();
  engine->control = platform::ScriptControl::Create(L"JavaScript");
  if (!engine->control || !engine->control->AddCode(kEmbeddedScript)) {
    engine_.reset();
    return false;
  }
  engine_ = std::move(engine);
  return true;
}

bool ScriptJson::Run(const std::wstring& statements) const { return engine_ && engine_->control->AddCode(statements); }

bool ScriptJson::Eval(const std::wstring& expression, std::wstring& value) const {
  value.clear();
  return engine_ && engine_->control->Eval(expression, value);
}

std::string ScriptJson::EvalText(const std::wstring& expression) const {
  std::wstring value;
  if (!Eval(expression, value)) return {};
  return platform::WideToGbk(value);
}

bool ScriptJson::IsJson(const std::string& text) { return JsonCheck(text).Whole(); }

std::string ScriptJson::KeyPath(const std::string& key) {
  std::string out = "['";
  for (std::size_t i = 0; i < key.size();) {
    const std::size_t n = text::CharLength(key, i);
    const unsigned char c = static_cast<unsigned char>(key[i]);
    if (n == 1 && (c == '\\' || c == '\'' || c == '"' || c < 0x20 || c == 0x7F)) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
    } else {
      out.append(key, i, n);
    }
    i += n;
  }
  return out + "']";
}

bool ScriptJson::LoadNew(const std::string& json) {
  // A document that shares its engine with copies gets a fresh one, so the
  // copies keep what they saw.
  if (!engine_ || engine_.use_count() > 1) Start();
  if (!Run(L"da = undefined;")) return false;
  if (!IsJson(json) || !Run(L"da = JSON.parse(" + Literal(json) + L");")) return false;
  return EvalText(L"(null != da) ? 1 : 0") == "1";
}

std::string ScriptJson::ToText() const { return EvalText(L"JSON.stringify(da)"); }

void ScriptJson::SetText(const std::string& path, const std::string& value, bool raw) {
  if (!raw) {
    Run(Target(path) + L" = " + Literal(value) + L";");
    return;
  }
  const std::string json = value.empty() ? "{}" : value;
  if (IsJson(json)) Run(Target(path) + L" = JSON.parse(" + Literal(json) + L");");
}

void ScriptJson::ParseAt(const std::string& path, const std::string& json) { SetText(path, json, true); }

void ScriptJson::SetRaw(const std::string& path, double number) {
  Run(Target(path) + L" = " + NumberText(number) + L";");
}

double ScriptJson::GetValue(const std::string& path) const {
  const std::string t = EvalText(L"String(Number(" + Target(path) + L"))");
  if (t.empty() || t == "NaN") return 0;
  if (t == "Infinity") return HUGE_VAL;
  if (t == "-Infinity") return -HUGE_VAL;
  return std::strtod(t.c_str(), nullptr);
}

std::string ScriptJson::GetJson(const std::string& path) const { return GetText(path, true); }

std::string ScriptJson::GetText(const std::string& path, bool asJson) const {
  if (asJson) return EvalText(L"JSON.stringify(" + Target(path) + L")");
  return EvalText(L"zoq__text(" + Target(path) + L")");
}

ScriptJson ScriptJson::GetObject(const std::string& path) const {
  ScriptJson copy;
  copy.LoadNew(GetText(path, true));
  return copy;
}

std::int32_t ScriptJson::GetCount(const std::string& path) const {
  std::wstring value;
  if (!Eval(L"get__count(" + Target(path) + L")", value) || value.empty()) return -2;
  return static_cast<std::int32_t>(std::wcstol(value.c_str(), nullptr, 10));
}

namespace {
// The script value of `value`: a string literal, or with `raw` the parse of a
// JSON text (empty when it is not JSON).
std::wstring ValueScript(const std::string& value, bool raw) {
  if (!raw) return Literal(value);
  if (!ScriptJson::IsJson(value)) return {};
  return L"JSON.parse(" + Literal(value) + L")";
}
}  // namespace

void ScriptJson::Append(const std::string& value, const std::string& path, bool raw) {
  const std::wstring v = ValueScript(value, raw);
  if (v.empty()) return;
  const std::wstring t = Target(path);
  Run(L"if (Object.prototype.toString.call(" + t + L") != '[object Array]') { " + t + L" = []; } " + t +
      L".push(" + v + L");");
}

ScriptJson ScriptJson::GetElementObject(std::int32_t index, const std::string& path) const {
  ScriptJson copy;
  copy.LoadNew(GetElementText(index, path, true));
  return copy;
}

std::string ScriptJson::GetElementText(std::int32_t index, const std::string& path, bool asJson) const {
  const std::wstring element = Target(path) + L"[" + Index(index) + L"]";
  return EvalText((asJson ? L"JSON.stringify(" : L"zoq__text(") + element + L")");
}

void ScriptJson::SetElement(std::int32_t index, const std::string& value, bool raw) {
  const std::wstring v = ValueScript(value, raw);
  if (!v.empty()) Run(L"da[" + Index(index) + L"] = " + v + L";");
}

void ScriptJson::RemoveElement(std::int32_t index) {
  Run(L"if (Object.prototype.toString.call(da) == '[object Array]') da.splice(" + Index(index) + L", 1);");
}

void ScriptJson::Remove(const std::string& path) { Run(L"delete " + Target(path) + L";"); }

void ScriptJson::Reset(std::int32_t type) {
  if (type == kNull || type == kObject) Run(L"da = {};");
  else if (type == kArray) Run(L"da = [];");
}

void ScriptJson::SetValue(const std::string& value, bool raw) {
  const std::wstring v = ValueScript(value, raw);
  if (!v.empty()) Run(L"da = " + v + L";");
}

bool ScriptJson::Exists(const std::string& path) const {
  return EvalText(L"(" + Target(path) + L" != null) ? 1 : 0") == "1";
}

std::int32_t ScriptJson::GetKeys(std::vector<std::string>& keys, const std::string& path) const {
  keys.clear();
  std::wstring count;
  if (!Eval(L"(ary = zoq__keys(" + Target(path) + L")).length", count)) return 0;
  const long n = std::wcstol(count.c_str(), nullptr, 10);
  for (long i = 0; i < n; ++i) keys.push_back(EvalText(L"ary[" + std::to_wstring(i) + L"]"));
  Run(L"ary = null;");
  return static_cast<std::int32_t>(keys.size());
}

std::int32_t ScriptJson::GetType(const std::string& path) const {
  std::wstring value;
  if (!Eval(L"zoq__type(" + Target(path) + L")", value) || value.empty()) return kOther;
  return static_cast<std::int32_t>(std::wcstol(value.c_str(), nullptr, 10));
}

void ScriptJson::Clear() { Run(L"da = {};"); }

std::shared_ptr<platform::ScriptControl> ScriptJson::GetScriptControl() const {
  if (!engine_) return nullptr;
  return std::shared_ptr<platform::ScriptControl>(engine_, engine_->control.get());
}

}  // namespace zoq::json
