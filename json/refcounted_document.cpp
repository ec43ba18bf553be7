#include "json/refcounted_document.hpp"

namespace zoq::json {

using detail::Node;
using detail::NodeRef;

const Dialect kRefCountedDialect{
    .defaultParseFlags = 0,
    .openQuoteCode = kParseValueError,
    .escapeSlashInValues = true,
    .negativeIndexAppends = false,
    .strictGetters = true,
    .nullLiteral = true,
    .clearAtEmptiesInPlace = true,
    .emptyMergeFails = true,
};

template <class Set, class... A>
RefCountedJsonDocument RefCountedJsonDocument::MadeWith(int32_t type, Set&& set, const A&... text) const {
  return {Call(NodeHandle{}, [&](auto... t) {
    NodeHandle n = detail::NewNode(type, *dialect_);
    set(n.get(), t...);
    return n;
  }, text...), *this};
}

RefCountedJsonDocument RefCountedJsonDocument::NewBool(bool value) const {
  return MadeWith(kBool, [&](Node* n) { detail::SetBool(n, value, *dialect_); });
}
RefCountedJsonDocument RefCountedJsonDocument::NewDouble(double value) const {
  return MadeWith(kDouble, [&](Node* n) { detail::SetDouble(n, value, *dialect_); });
}
RefCountedJsonDocument RefCountedJsonDocument::NewInt64(int64_t value) const {
  return MadeWith(kInt64, [&](Node* n) { detail::SetInt64(n, value, *dialect_); });
}
RefCountedJsonDocument RefCountedJsonDocument::NewTextW(const ByteSet& text) const {
  return MadeWith(kString, [&](Node* n, U t) { detail::SetString(n, t, *dialect_); }, text);
}
RefCountedJsonDocument RefCountedJsonDocument::NewText(const Text& text) const {
  return MadeWith(kString, [&](Node* n, U t) { detail::SetString(n, t, *dialect_); }, detail::Loosely(text));
}

void RefCountedJsonDocument::Detach() {
  Call(false, [&] { return detail::DetachNode(root_.get()); });
}

#define ZOQ_JSON_TWINS(Name, Params, Args, Body)                                               \
  bool RefCountedJsonDocument::Name(const Text& path Params(Text)) const {                     \
    return Call(false, Body, path Args);                                                       \
  }                                                                                            \
  bool RefCountedJsonDocument::Name##W(const ByteSet& path Params(ByteSet)) const {            \
    return Call(false, Body, path Args);                                                       \
  }
#define ZOQ_P(...) , __VA_ARGS__
#define ZOQ_INDEX(T) , int32_t index, const RefCountedJsonDocument& source
#define ZOQ_POS_KEY(T) , int32_t pos, const T& key, const RefCountedJsonDocument& source
ZOQ_JSON_TWINS(Insert, ZOQ_INDEX, , [&](U p) {
  return PlaceCopyAt(p, source, [&](Node* n, NodeRef copy) { return InsertInto(n, index, std::move(copy)); });
})
ZOQ_JSON_TWINS(InsertMember, ZOQ_POS_KEY, ZOQ_P(key), [&](U p, U k) {
  return PlaceCopyAt(p, source, [&](Node* n, NodeRef copy) { return PutInto(n, k, pos, std::move(copy)); });
})
#undef ZOQ_INDEX
#undef ZOQ_POS_KEY
#undef ZOQ_P
#undef ZOQ_JSON_TWINS

}  // namespace zoq::json
