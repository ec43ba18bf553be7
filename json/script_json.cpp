#include "json/script_json.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <utility>

#include "json/document.hpp"
#include "json/script_value.hpp"
#include "platform/script_control.hpp"
#include "text/text.hpp"

#undef GetObject

namespace zoq::json {
namespace {

// The engine has no JSON object of its own: the script brings a writer and a
// parser (which never evaluates its input), the element count, the text and
// type of a value, and the own member names of an object. Numbers are
// written as the C++ side writes them (script_value.hpp).
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
      case 'number': return isFinite(v) ? zoq__digits(v) : 'null';
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
      var n = parseFloat(s);
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
function zoq__digits(v) {
  var neg = v < 0, s, d, k, m, n;
  if (neg) v = -v;
  if (v == Math.floor(v) && v <= 9007199254740992) {
    s = '';
    do { d = v % 10; s = d + s; v = (v - d) / 10; } while (v > 0);
  } else {
    s = String(v);
    k = s.indexOf('E');
    if (k >= 0) {
      m = s.substring(0, k).replace('.', '');
      n = parseInt(s.substring(k + 1), 10) + 1;
      k = m.length;
      if (k <= n && n <= 21) { s = m; while (k++ < n) s += '0'; }
      else if (0 < n && n <= 21) s = m.substring(0, n) + '.' + m.substring(n);
      else if (-6 < n && n <= 0) { s = '0.'; while (n++ < 0) s += '0'; s += m; }
      else s = m.charAt(0) + (k > 1 ? '.' + m.substring(1) : '') + 'e' + (n > 0 ? '+' : '-') + Math.abs(n - 1);
    }
  }
  return neg ? '-' + s : s;
}
function zoq__str(v) {
  if (v === null || v === undefined) return '';
  if (typeof v == 'number') return isFinite(v) ? zoq__digits(v) : String(v);
  if (Object.prototype.toString.call(v) == '[object Array]') {
    var a = [], i;
    for (i = 0; i < v.length; i++) a.push(zoq__str(v[i]));
    return a.join(',');
  }
  return String(v);
}
function zoq__text(v) {
  return (v === null || v === undefined || typeof v == 'number' || typeof v == 'boolean') ? v : zoq__str(v);
}
function zoq__value(v) {
  if (v === null) return 0;
  return (v === undefined || typeof v == 'number' || typeof v == 'boolean') ? v : zoq__str(v);
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
std::wstring Wide(std::u16string_view u) { return {reinterpret_cast<const wchar_t*>(u.data()), u.size()}; }
// The conversions of the document family: a short way for ASCII, and bytes
// that are not GBK as Windows reads them.
std::u16string Utf16(const std::string& gbk) {
  std::u16string out;
  detail::Widen(gbk, out, false);
  return out;
}
std::string Gbk(std::u16string_view u) { return detail::Narrow(u); }

std::wstring Index(std::int32_t i) { return std::to_wstring(i); }

// A JavaScript string literal of the text: every character that could end
// the literal, escape or break a line is written as a "\u" escape.
std::wstring Literal(std::wstring_view text) {
  std::wstring out = L"'";
  for (wchar_t c : text) {
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

std::string ElementPath(const std::string& path, std::int32_t index) {
  return path + "[" + std::to_string(index) + "]";
}

// The tree of a JSON text; none when it is not JSON.
std::optional<detail::NodeRef> Tree(const std::string& json) { return script::Parse(Utf16(json)); }

// The script value of `value`: a string literal, or with `raw` what our
// writer makes of the JSON text (empty when it is not JSON).
std::wstring ValueScript(const std::string& value, bool raw) {
  if (!raw) return Literal(Wide(value));
  const auto tree = Tree(value);
  return tree ? Wide(script::Script(tree->get())) : std::wstring{};
}

script::Value Defined(detail::NodeRef root) { return {std::move(root), true}; }

detail::NodeRef Empty(std::int32_t type) {
  detail::NodeRef n = detail::NodeRef::Adopt(new detail::Node);
  n->type = type == ScriptJson::kArray ? json::kArray : json::kObject;
  return n;
}

}  // namespace

// COM first, the control after it: the control is released before COM is
// undone. The control is made when an operation first needs the script. The
// value is held on the C++ side (`held`) from a load until a change runs in
// the script; the script's "da" holds it (`given`) once an operation needed
// the script.
struct ScriptJson::Engine {
  Engine() { com.Enter(); }
  ~Engine() {
    control.reset();
    com.Leave();
  }
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;
  // The control with the embedded script; null when it cannot be made.
  platform::ScriptControl* Control() {
    if (!control && !failed) {
      control = platform::ScriptControl::Create(L"JavaScript");
      if (!control || !control->AddCode(kEmbeddedScript)) control.reset();
      failed = !control;
    }
    return control.get();
  }
  platform::ComApartment com;
  std::unique_ptr<platform::ScriptControl> control;
  bool failed = false;
  script::Value value;
  bool held = true;
  bool given = false;
  std::map<std::pair<bool, std::u16string>, bool> inherited;  // answers of Inherits
};

ScriptJson::ScriptJson() { Start(); }

void ScriptJson::Start() {
  engine_ = std::make_shared<Engine>();
  engine_->value = Defined(Empty(kObject));
}

bool ScriptJson::Run(const std::wstring& statements) const {
  platform::ScriptControl* c = engine_ ? engine_->Control() : nullptr;
  return c && c->AddCode(statements);
}

bool ScriptJson::Eval(const std::wstring& expression, std::wstring& value) const {
  value.clear();
  platform::ScriptControl* c = engine_ ? engine_->Control() : nullptr;
  return c && c->Eval(expression, value);
}

bool ScriptJson::Eval(const std::wstring& expression, platform::ScriptValue& value) const {
  value = {};
  platform::ScriptControl* c = engine_ ? engine_->Control() : nullptr;
  return c && c->Eval(expression, value);
}

std::string ScriptJson::EvalText(const std::wstring& expression) const {
  std::wstring value;
  if (!Eval(expression, value)) return {};
  return platform::WideToGbk(value);
}

void ScriptJson::Hold(script::Value value) {
  if (!engine_) return;
  engine_->value = std::move(value);
  engine_->held = true;
  engine_->given = false;
}

bool ScriptJson::Give() const {
  if (!engine_ || !engine_->Control()) return false;
  if (engine_->given) return true;
  engine_->given = true;
  const script::Value& v = engine_->value;
  return Run(L"da = " + (v.defined ? Wide(script::Script(v.root.get())) : L"undefined") + L";") ||
         Run(L"da = undefined;");
}

void ScriptJson::Change(const std::wstring& statements) {
  if (!Give()) return;
  Run(statements);
  engine_->held = false;
  engine_->value = {};
}

bool ScriptJson::Inherits(bool array, std::u16string_view name) const {
  auto key = std::make_pair(array, std::u16string(name));
  const auto known = engine_->inherited.find(key);
  if (known != engine_->inherited.end()) return known->second;
  std::wstring type;
  const bool ok = Eval(std::wstring(L"typeof (") + (array ? L"[]" : L"{}") + L")[" + Literal(Wide(name)) + L"]", type);
  const bool inherits = !ok || type != L"undefined";  // a failure leaves the answer to the script
  engine_->inherited.emplace(std::move(key), inherits);
  return inherits;
}

std::optional<script::Found> ScriptJson::Held(const std::string& path) const {
  if (!engine_ || !engine_->held) return std::nullopt;
  const auto names = script::ParsePath(Utf16(path));
  if (!names) return std::nullopt;
  const script::Found f =
      script::Walk(engine_->value, *names, [this](bool array, std::u16string_view n) { return Inherits(array, n); });
  if (f.kind == script::Found::kUnsure) return std::nullopt;
  return f;
}

bool ScriptJson::LoadNew(const std::string& json) {
  // A document that shares its engine with copies gets a fresh one, so the
  // copies keep what they saw.
  if (!engine_ || engine_.use_count() > 1) Start();
  auto tree = Tree(json);
  Hold(tree ? Defined(std::move(*tree)) : script::Value{});
  return tree && engine_->value.root->type != json::kNull;
}

std::string ScriptJson::ToText() const { return GetText("", true); }

void ScriptJson::SetText(const std::string& path, const std::string& value, bool raw) {
  const std::wstring v = ValueScript(raw && value.empty() ? "{}" : value, raw);
  if (!v.empty()) Change(Target(path) + L" = " + v + L";");
}

void ScriptJson::ParseAt(const std::string& path, const std::string& json) { SetText(path, json, true); }

void ScriptJson::SetRaw(const std::string& path, double number) {
  Change(Target(path) + L" = " + Wide(script::NumberText(number, 13)) + L";");
}

double ScriptJson::GetValue(const std::string& path) const {
  double x = NAN;
  if (const auto f = Held(path)) {
    x = script::ValueOf(*f);
  } else if (platform::ScriptValue v; Give() && Eval(L"zoq__value(" + Target(path) + L")", v)) {
    if (v.kind == platform::ScriptValue::kNumber || v.kind == platform::ScriptValue::kBoolean) x = v.number;
    if (v.kind == platform::ScriptValue::kText) x = script::ToNumber({reinterpret_cast<const char16_t*>(v.text.data()), v.text.size()});
  }
  return std::isnan(x) ? 0 : x;
}

std::string ScriptJson::GetJson(const std::string& path) const { return GetText(path, true); }

std::string ScriptJson::GetText(const std::string& path, bool asJson) const {
  if (const auto f = Held(path)) return Gbk(asJson ? script::JsonOf(*f) : script::TextOf(*f));
  if (!Give()) return {};
  if (asJson) return EvalText(L"JSON.stringify(" + Target(path) + L")");
  platform::ScriptValue v;
  if (!Eval(L"zoq__text(" + Target(path) + L")", v)) return {};
  switch (v.kind) {
    case platform::ScriptValue::kNumber: return Gbk(script::NumberText(v.number, 13));
    case platform::ScriptValue::kBoolean: return v.number ? "true" : "false";
    case platform::ScriptValue::kText: return platform::WideToGbk(v.text);
    default: return {};
  }
}

ScriptJson ScriptJson::GetObject(const std::string& path) const {
  ScriptJson copy;
  copy.LoadNew(GetText(path, true));
  return copy;
}

std::int32_t ScriptJson::GetCount(const std::string& path) const {
  if (const auto f = Held(path)) return script::CountOf(*f);
  std::wstring value;
  if (!Give() || !Eval(L"get__count(" + Target(path) + L")", value) || value.empty()) return -2;
  return static_cast<std::int32_t>(std::wcstol(value.c_str(), nullptr, 10));
}

void ScriptJson::Append(const std::string& value, const std::string& path, bool raw) {
  const std::wstring v = ValueScript(value, raw);
  if (v.empty()) return;
  const std::wstring t = Target(path);
  Change(L"if (Object.prototype.toString.call(" + t + L") != '[object Array]') { " + t + L" = []; } " + t +
         L".push(" + v + L");");
}

ScriptJson ScriptJson::GetElementObject(std::int32_t index, const std::string& path) const {
  return GetObject(ElementPath(path, index));
}

std::string ScriptJson::GetElementText(std::int32_t index, const std::string& path, bool asJson) const {
  return GetText(ElementPath(path, index), asJson);
}

void ScriptJson::SetElement(std::int32_t index, const std::string& value, bool raw) {
  const std::wstring v = ValueScript(value, raw);
  if (!v.empty()) Change(L"da[" + Index(index) + L"] = " + v + L";");
}

void ScriptJson::RemoveElement(std::int32_t index) {
  Change(L"if (Object.prototype.toString.call(da) == '[object Array]') da.splice(" + Index(index) + L", 1);");
}

void ScriptJson::Remove(const std::string& path) { Change(L"delete " + Target(path) + L";"); }

void ScriptJson::Reset(std::int32_t type) {
  if (type == kNull || type == kObject || type == kArray) Hold(Defined(Empty(type)));
}

void ScriptJson::SetValue(const std::string& value, bool raw) {
  if (raw) {
    if (auto tree = Tree(value)) Hold(Defined(std::move(*tree)));
    return;
  }
  detail::NodeRef text = detail::NodeRef::Adopt(new detail::Node);
  text->type = json::kString;
  const std::u16string chars = Utf16(value);
  text->text.assign(chars.data(), chars.size());
  Hold(Defined(std::move(text)));
}

bool ScriptJson::Exists(const std::string& path) const {
  if (const auto f = Held(path)) return f->kind == script::Found::kNode && f->node->type != json::kNull;
  return Give() && EvalText(L"(" + Target(path) + L" != null) ? 1 : 0") == "1";
}

std::int32_t ScriptJson::GetKeys(std::vector<std::string>& keys, const std::string& path) const {
  keys.clear();
  if (const auto f = Held(path)) {
    for (const std::u16string& k : script::KeysOf(*f)) keys.push_back(Gbk(k));
    return static_cast<std::int32_t>(keys.size());
  }
  std::wstring count;
  if (!Give() || !Eval(L"(ary = zoq__keys(" + Target(path) + L")).length", count)) return 0;
  const long n = std::wcstol(count.c_str(), nullptr, 10);
  for (long i = 0; i < n; ++i) keys.push_back(EvalText(L"ary[" + std::to_wstring(i) + L"]"));
  Run(L"ary = null;");
  return static_cast<std::int32_t>(keys.size());
}

std::int32_t ScriptJson::GetType(const std::string& path) const {
  if (const auto f = Held(path)) return script::TypeOf(*f);
  std::wstring value;
  if (!Give() || !Eval(L"zoq__type(" + Target(path) + L")", value) || value.empty()) return kOther;
  return static_cast<std::int32_t>(std::wcstol(value.c_str(), nullptr, 10));
}

void ScriptJson::Clear() { Reset(kObject); }

std::shared_ptr<platform::ScriptControl> ScriptJson::GetScriptControl() const {
  if (!Give()) return nullptr;
  return std::shared_ptr<platform::ScriptControl>(engine_, engine_->Control());
}

std::string ScriptJson::KeyPath(const std::string& key) {
  std::string out = "['";
  for (std::size_t i = 0; i < key.size();) {
    const std::size_t n = text::CharLength(key, i);
    const unsigned char c = static_cast<unsigned char>(key[i]);
    if (n == 1 && text::IsLeadByte(c)) {
      out += '?';  // alone: the code page would pair it with the escape or quote after it
    } else if (n == 1 && (c == '\\' || c == '\'' || c == '"' || c < 0x20 || c == 0x7F)) {
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

}  // namespace zoq::json
