// The operations of the document family, each written once on UTF-16 texts
// and offered in both text forms.
#include "json/document.hpp"

#include <atomic>

#include "text/text.hpp"

namespace zoq::json {

using detail::Node;
using detail::NodeRef;

const Dialect kJsonDialect{};
const Dialect kWideJsonDialect{.emptyMergeFails = true};

ByteSet ToByteSet(std::u16string_view text) {
  ByteSet b(text.size() * 2 + 2, 0);
  for (size_t k = 0; k < text.size(); ++k) {
    b[2 * k] = static_cast<uint8_t>(text[k] & 0xFF);
    b[2 * k + 1] = static_cast<uint8_t>(text[k] >> 8);
  }
  return b;
}

std::u16string FromByteSet(const ByteSet& bytes) {
  std::u16string s;
  s.reserve(bytes.size() / 2);
  for (size_t k = 0; k + 1 < bytes.size(); k += 2) {
    const auto c = static_cast<char16_t>(bytes[k] | (bytes[k + 1] << 8));
    if (c == 0) break;
    s.push_back(c);
  }
  return s;
}

namespace {

// A lead byte that no trail byte follows is replaced alone, by "?": the
// code page would take the byte after it (a quote, say) into the same "?".
// `gbk` itself when there is none.
std::string_view LeadBytesAlone(std::string_view gbk, std::string& changed) {
  for (size_t k = 0; k < gbk.size(); ++k) {
    if (!text::IsLeadByte(static_cast<unsigned char>(gbk[k]))) continue;
    if (k + 1 < gbk.size() && text::IsTrailByte(static_cast<unsigned char>(gbk[k + 1]))) {
      ++k;
      continue;
    }
    if (changed.empty()) changed.assign(gbk);
    changed[k] = '?';
  }
  return changed.empty() ? gbk : std::string_view(changed);
}

}  // namespace

bool detail::Widen(std::string_view gbk, std::u16string& out, bool strict) {
  gbk = gbk.substr(0, gbk.find('\0'));  // a GBK text ends at its first NUL, as its twin's does
  out.resize(gbk.size());
  for (size_t k = 0; k < gbk.size(); ++k) {
    if (static_cast<unsigned char>(gbk[k]) >= 0x80) {
      std::string changed;
      return seam::GbkToUtf16(strict ? gbk : LeadBytesAlone(gbk, changed), out, strict);
    }
    out[k] = static_cast<char16_t>(gbk[k]);
  }
  return true;
}

std::string detail::Narrow(std::u16string_view text) {
  std::string out(text.size(), '\0');
  for (size_t k = 0; k < text.size(); ++k) {
    if (text[k] >= 0x80) return seam::Utf16ToGbk(text);
    out[k] = static_cast<char>(text[k]);
  }
  return out;
}

int detail::GbkOf(char16_t c, char out[2]) {
  // Entries: 0 unknown, else 0x100 | (byte count << 16) | bytes.
  static std::atomic<uint32_t> known[0x10000];
  if (c >= 0xD800 && c <= 0xDFFF) return 0;
  uint32_t e = known[c].load(std::memory_order_relaxed);
  if (e == 0) {
    const std::string g = seam::Utf16ToGbk(std::u16string_view(&c, 1));
    const uint32_t n = g.size() == 2 ? 2 : 1;
    const auto b0 = static_cast<unsigned char>(g.empty() ? '?' : g[0]);
    const auto b1 = static_cast<unsigned char>(n == 2 ? g[1] : 0);
    e = 0x100 | (n << 16) | (static_cast<uint32_t>(b1) << 24) | b0;
    known[c].store(e, std::memory_order_relaxed);
  }
  out[0] = static_cast<char>(e & 0xFF);
  out[1] = static_cast<char>(e >> 24);
  return static_cast<int>((e >> 16) & 0xFF);
}

DocumentBase::DocumentBase(const DocumentBase& other) : lock_(other.lock_), dialect_(other.dialect_) {
  Guard g(other);
  root_ = other.root_;
}

DocumentBase& DocumentBase::operator=(const DocumentBase& other) {
  if (this != &other) {
    NodeHandle root = other.GetRoot();
    {
      Guard g(*this);  // the tree let go of, under its own lock
      std::swap(root_, root);
      root = NodeHandle{};
    }
    lock_ = other.lock_;
    dialect_ = other.dialect_;
  }
  return *this;
}

// Letting go of the last hold on a tree changes the nodes that views of it
// still hold (their parents), so it happens under the tree's lock.
DocumentBase::~DocumentBase() {
  if (!lock_) return;
  Guard g(*this);
  root_ = NodeHandle{};
}

bool DocumentBase::HasRoot() const {
  Guard g(*this);
  return static_cast<bool>(root_);
}

NodeHandle DocumentBase::GetRoot() const {
  Guard g(*this);
  return root_;
}

void DocumentBase::SetRoot(NodeHandle node) {
  Guard g(*this);
  root_ = std::move(node);
}

namespace {

detail::WriteOptions Options(bool pretty, bool escape, int32_t bufferSize) {
  return {pretty, escape, static_cast<size_t>(bufferSize > 0 ? bufferSize : 1024)};
}

std::u16string WriteAt(Node* n, bool pretty, bool escape, int32_t bufferSize, const Dialect& d) {
  std::u16string out;
  if (n) detail::Write(n, out, Options(pretty, escape, bufferSize), d);
  return out;
}

}  // namespace

ByteSet DocumentBase::ToTextW(const ByteSet& path, bool pretty, bool escape, int32_t bufferSize) const {
  return Call(ByteSet{}, [&](U p) { return ToByteSet(WriteAt(Find(p), pretty, escape, bufferSize, *dialect_)); }, path);
}

DocumentBase::Text DocumentBase::ToText(const Text& path, bool pretty, bool escape, int32_t bufferSize) const {
  // Straight into GBK; through UTF-16 when the tree holds surrogates.
  return Call(Text{}, [&](U p) {
    Node* n = Find(p);
    Text direct;
    if (!n || detail::Write(n, direct, Options(pretty, escape, bufferSize), *dialect_)) return direct;
    return detail::Narrow(WriteAt(n, pretty, escape, bufferSize, *dialect_));
  }, path);
}

// Both forms of an operation whose only text is its path.
#define ZOQ_JSON_TWINS(R, Name, Fail, Params, Args, Body)                                         \
  R DocumentBase::Name(const Text& path Params) const { return static_cast<R>(Call(Fail, Body, path Args)); } \
  R DocumentBase::Name##W(const ByteSet& path Params) const { return static_cast<R>(Call(Fail, Body, path Args)); }
#define ZOQ_P(...) , __VA_ARGS__

ZOQ_JSON_TWINS(int32_t, GetType, int32_t{kMissing}, , , [&](U p) { Node* n = Find(p); return n ? n->type : kMissing; })
ZOQ_JSON_TWINS(int32_t, GetCount, int32_t{0}, , , [&](U p) {
  Node* n = Find(p);
  return n && n->IsContainer() ? static_cast<int32_t>(n->kids.size()) : 0;
})
ZOQ_JSON_TWINS(bool, Exists, false, , , [&](U p) { return detail::Exists(root_.get(), p); })
ZOQ_JSON_TWINS(bool, SetNull, false, , , [&](U p) { return SetAt(p, [&](Node* n) { detail::ClearNode(n, *dialect_); }); })
ZOQ_JSON_TWINS(bool, SetBool, false, ZOQ_P(bool flag), , [&](U p) { return SetAt(p, [&](Node* n) { detail::SetBool(n, flag, *dialect_); }); })
ZOQ_JSON_TWINS(bool, SetDouble, false, ZOQ_P(double value), , [&](U p) { return SetAt(p, [&](Node* n) { detail::SetDouble(n, value, *dialect_); }); })
ZOQ_JSON_TWINS(bool, SetInt64, false, ZOQ_P(int64_t value), , [&](U p) { return SetAt(p, [&](Node* n) { detail::SetInt64(n, value, *dialect_); }); })
ZOQ_JSON_TWINS(bool, SetInt, false, ZOQ_P(int32_t value), , [&](U p) { return SetAt(p, [&](Node* n) { detail::SetInt64(n, value, *dialect_); }); })
ZOQ_JSON_TWINS(bool, SetObject, false, ZOQ_P(int32_t), , [&](U p) { return SetAt(p, [&](Node* n) { detail::SetObject(n, *dialect_); }); })
ZOQ_JSON_TWINS(bool, SetArray, false, ZOQ_P(int32_t), , [&](U p) { return SetAt(p, [&](Node* n) { detail::SetArray(n, *dialect_); }); })
ZOQ_JSON_TWINS(bool, RemoveElement, false, ZOQ_P(int32_t index), , [&](U p) { return detail::RemoveElement(Make(p), index); })
ZOQ_JSON_TWINS(bool, Append, false, ZOQ_P(const DocumentBase& source), ZOQ_P(source), [&](U p, const DocumentBase&) {
  NodeRef copy = CopyRootOf(source);  // taken before the path is made
  Node* n = copy ? Make(p) : nullptr;
  return n && InsertInto(n, std::nullopt, std::move(copy));
})
ZOQ_JSON_TWINS(bool, SetElement, false, ZOQ_P(int32_t index, const DocumentBase& source), ZOQ_P(source),
               [&](U p, const DocumentBase&) {
  return PlaceCopyAt(p, source, [&](Node* n, NodeRef copy) { return detail::SetElement(n, index, std::move(copy), *dialect_); });
})
ZOQ_JSON_TWINS(bool, SetNode, false, ZOQ_P(const DocumentBase& source), ZOQ_P(source), [&](U p, const DocumentBase&) {
  return PlaceCopyAt(p, source, [](Node* n, NodeRef copy) {
    detail::MoveContent(n, copy.get());
    return true;
  });
})
ZOQ_JSON_TWINS(bool, GetBool, false, , , [&](U p) { return detail::BoolOf(Find(p), *dialect_); })
ZOQ_JSON_TWINS(double, GetDouble, 0.0, , , [&](U p) { return detail::DoubleOf(Find(p), *dialect_); })
ZOQ_JSON_TWINS(int64_t, GetInt64, int64_t{0}, , , [&](U p) { return detail::Int64Of(Find(p), *dialect_); })
ZOQ_JSON_TWINS(int32_t, GetInt, int32_t{0}, , , [&](U p) { return detail::IntOf(Find(p), *dialect_); })
ZOQ_JSON_TWINS(bool, SortByKey, false, ZOQ_P(int32_t descending, int32_t ignoreCase), , [&](U p) {
  return detail::SortByKey(Find(p), (descending & 1) != 0, ignoreCase != 0);
})
ZOQ_JSON_TWINS(void, Sort, false, ZOQ_P(const Comparator& compare, int32_t value, int32_t), , [&](U p) {
  detail::SortWith(Find(p), [&](Node* a, Node* b) { return compare(NodeRef::Share(a), NodeRef::Share(b), value); });
  return true;
})
ZOQ_JSON_TWINS(void, ClearAt, false, , , [&](U p) {
  return SetAt(p, [&](Node* n) {
    if (dialect_->clearAtEmptiesInPlace) detail::EmptyNode(n);
    else detail::ClearNode(n, *dialect_);
  });
})
#undef ZOQ_JSON_TWINS

// Both forms of an operation with a path and one more text: a key (As
// empty), or a text that is stored or parsed (As detail::Loosely).
#define ZOQ_JSON_TWINS(R, Name, Fail, As, Params, Args, Body)                                           \
  R DocumentBase::Name(const Text& path, const Text& text Params) const { return Call(Fail, Body, path, As(text) Args); } \
  R DocumentBase::Name##W(const ByteSet& path, const ByteSet& text Params) const {                     \
    return Call(Fail, Body, path, As(text) Args);                                                      \
  }
ZOQ_JSON_TWINS(bool, RemoveMember, false, , , , [&](U p, U key) { return detail::RemoveMember(Make(p), key); })
ZOQ_JSON_TWINS(bool, SetText, false, detail::Loosely, , , [&](U p, U text) {
  return SetAt(p, [&](Node* n) { detail::SetString(n, text, *dialect_); });
})
// PutMember makes nothing for a source without a root; SetMember makes the path all the same.
ZOQ_JSON_TWINS(bool, PutMember, false, , ZOQ_P(const DocumentBase& source), ZOQ_P(source), [&](U p, U key, const DocumentBase&) {
  return source.HasRoot() && PlaceCopyAt(p, source, [&](Node* n, NodeRef copy) { return PutInto(n, key, std::nullopt, std::move(copy)); });
})
ZOQ_JSON_TWINS(bool, SetMember, false, , ZOQ_P(const DocumentBase& source), ZOQ_P(source), [&](U p, U key, const DocumentBase&) {
  return PlaceCopyAt(p, source, [&](Node* n, NodeRef copy) { return PutInto(n, key, std::nullopt, std::move(copy)); });
})
ZOQ_JSON_TWINS(bool, ParseAt, false, detail::Loosely, ZOQ_P(std::optional<int32_t> flags), , [&](U p, U text) {
  Node* n = Make(p);
  int32_t pos = 0;
  return n && ParseInto(n, text, flags, pos) == kParseOk;
})
ZOQ_JSON_TWINS(bool, MergeText, false, detail::Loosely, ZOQ_P(std::optional<int32_t> flags, int32_t addMissing), , [&](U p, U text) {
  Node* n = Make(p);
  if (!n) return false;
  NodeRef parsed = detail::NewNode(kObject, *dialect_);
  int32_t pos = 0;
  if (ParseInto(parsed.get(), text, flags, pos) != kParseOk) return false;
  bool changed = false;
  const bool ok = detail::MergeInto(n, std::move(parsed), addMissing != 0, *dialect_, &changed);
  return ok && (changed || !dialect_->emptyMergeFails);
})
#undef ZOQ_JSON_TWINS

// Both forms of a reader that gives a text (none when memory runs out).
#define ZOQ_JSON_TWINS(Name, Body)                                                                          \
  DocumentBase::Text DocumentBase::Name(const Text& path) const {                                           \
    return Call(Text{}, [&](U p) { return detail::Narrow((Body)(p)); }, path);                              \
  }                                                                                                         \
  ByteSet DocumentBase::Name##W(const ByteSet& path) const {                                                \
    return Call(ByteSet{}, [&](U p) { return ToByteSet((Body)(p)); }, path);                                \
  }
ZOQ_JSON_TWINS(GetName, [&](U p) { Node* n = Find(p); return n ? std::u16string(n->key.data(), n->key.size()) : std::u16string{}; })
ZOQ_JSON_TWINS(GetLiteral, [&](U p) { return detail::LiteralOf(Find(p), *dialect_); })
ZOQ_JSON_TWINS(GetText, [&](U p) { return detail::TextOf(Find(p), *dialect_); })
#undef ZOQ_JSON_TWINS
#undef ZOQ_P

namespace {

using KeyList = std::optional<std::vector<std::u16string>>;

template <class T>
int32_t FillKeys(const KeyList& keys, std::vector<T>& out) {
  if (!keys) return 0;
  std::vector<T> texts;
  for (const auto& k : *keys) texts.push_back(detail::Out(k, static_cast<const T*>(nullptr)));
  out.swap(texts);
  return static_cast<int32_t>(out.size());
}

}  // namespace

int32_t DocumentBase::GetKeys(const Text& path, std::vector<Text>& keys) const {
  return Call(int32_t{0}, [&](U p) { return FillKeys(KeysOf(p), keys); }, path);
}

int32_t DocumentBase::GetKeysW(const ByteSet& path, std::vector<ByteSet>& keys) const {
  return Call(int32_t{0}, [&](U p) { return FillKeys(KeysOf(p), keys); }, path);
}

std::optional<std::vector<std::u16string>> DocumentBase::KeysOf(U path) const {
  Node* n = Find(path);
  if (!n || n->type != kObject) return std::nullopt;
  std::vector<std::u16string> keys;
  for (const Node* k : n->kids) keys.emplace_back(k->key.data(), k->key.size());
  return keys;
}

bool DocumentBase::MergeObject(const Text& path, const DocumentBase& source) const {
  return Call(false, [&](U p, const DocumentBase&) {
    Node* n = Make(p);
    return n && source.HasRoot() && detail::MergeObject(n, source.GetRoot().get(), *dialect_);
  }, path, source);
}

bool DocumentBase::ConcatArray(const Text& path, const DocumentBase& source) const {
  return Call(false, [&](U p, const DocumentBase&) {
    Node* n = Make(p);
    return n && source.HasRoot() && detail::ConcatArray(n, source.GetRoot().get(), *dialect_);
  }, path, source);
}

NodeHandle DocumentBase::CopyRootOf(const DocumentBase& source) const {
  const NodeHandle r = source.GetRoot();
  return r ? detail::DeepCopy(r.get(), *dialect_) : NodeRef{};
}

NodeHandle DocumentBase::NewNode(int32_t type) const {
  return Call(NodeHandle{}, [&] { return detail::NewNode(type, *dialect_); });
}

NodeHandle DocumentBase::ParentOf(U path) const {
  Node* n = Find(path);
  return NodeRef::Share(n ? n->parent : nullptr);
}

NodeHandle DocumentBase::MemberOf(U path, U key) const { return NodeRef::Share(detail::FindMember(Find(path), key)); }
NodeHandle DocumentBase::ChildOf(U path, int32_t index) const { return NodeRef::Share(detail::ChildAt(Find(path), index)); }
NodeHandle DocumentBase::NodeAt(U path) const { return NodeRef::Share(Make(path)); }

NodeHandle DocumentBase::CopyOf(U path) const {
  Node* n = Make(path);
  return n ? detail::DeepCopy(n, *dialect_) : NodeRef{};
}

NodeHandle DocumentBase::AddNew(U path, std::optional<U> key, std::optional<int32_t> pos, int32_t type) const {
  Node* n = Make(path);
  NodeRef made = n ? detail::NewNode(type, *dialect_) : NodeRef{};
  if (!made) return {};
  NodeRef view = made;
  const bool ok = key ? PutInto(n, *key, pos, std::move(made)) : InsertInto(n, pos, std::move(made));
  return ok ? view : NodeRef{};
}

bool DocumentBase::PutInto(Node* at, U key, std::optional<int32_t> pos, NodeHandle node) const {
  if (at->type != kObject) detail::SetObject(at, *dialect_);
  return detail::PutMember(at, key, std::move(node), pos) != -1;
}

bool DocumentBase::InsertInto(Node* at, std::optional<int32_t> pos, NodeHandle node) const {
  if (at->type != kArray) detail::SetArray(at, *dialect_);
  return detail::InsertElement(at, pos, std::move(node));
}

std::vector<NodeHandle> DocumentBase::ChildrenOf(U path) const {
  std::vector<NodeHandle> kids;
  if (Node* n = Find(path); n && n->IsContainer())
    for (Node* k : n->kids) kids.push_back(NodeRef::Share(k));
  return kids;
}

int32_t DocumentBase::ParseInto(Node* node, U text, std::optional<int32_t> flags, int32_t& errorPos) const {
  return detail::Parse(node, text, flags.value_or(dialect_->defaultParseFlags), errorPos, *dialect_);
}

// --- Loads -----------------------------------------------------------------

template <class T>
bool DocumentBase::LoadText(const T* text, bool fresh, std::optional<int32_t> flags, int32_t* code, int32_t* errorPos) {
  int32_t c = code ? *code : 0, pos = 0;
  {
    Guard g(*this);
    try {
      static const T kNone{};
      const detail::Arg<detail::Loose<T>> arg(detail::Loosely(text ? *text : kNone));
      if (fresh || !root_) root_ = detail::NewNode(kObject, *dialect_);
      if (text) c = arg.ok ? ParseInto(root_.get(), arg.get(), flags, pos) : kParseNoInput;
    } catch (const std::exception&) {
      c = kParseNoMemory;
    }
  }
  if (code) *code = c;
  if (errorPos) *errorPos = pos;
  return c == kParseOk;
}

template bool DocumentBase::LoadText(const std::string*, bool, std::optional<int32_t>, int32_t*, int32_t*);
template bool DocumentBase::LoadText(const ByteSet*, bool, std::optional<int32_t>, int32_t*, int32_t*);

void DocumentBase::ClearTree() {
  Guard g(*this);
  root_ = NodeRef{};
}

}  // namespace zoq::json
