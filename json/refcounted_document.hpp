// RefCountedJsonDocument: a document value on the shared engine. Every
// operation that answers a node answers a new document value whose root is
// that node (holding one counted reference); copies share the root.
//
// Its own rules: getters are strict (GetText of a number is empty), "\u"
// escapes are decoded only when asked, "/" is written as "\/" in values too,
// a text that ends inside a quote is -6, a negative index fails, ClearAt
// empties a node in place, ParseAt merges, null carries the literal "null",
// and a merge that merged nothing answers false.
#pragma once

#include "json/document.hpp"

namespace zoq::json {

extern const Dialect kRefCountedDialect;

class RefCountedJsonDocument : private LoadableDocument<RefCountedJsonDocument> {
  using Base = LoadableDocument<RefCountedJsonDocument>;
  friend class BasicDocument<RefCountedJsonDocument>;

 public:
  using Text = DocumentBase::Text;
  using DocumentBase::Comparator;

  RefCountedJsonDocument() : Base(kRefCountedDialect) {}

  // Loads; the flag argument is the "\u" decoding flag (omitted: off).
  using Base::Clear;
  using Base::Load;
  using Base::LoadNew;
  using Base::LoadNewW;
  using Base::LoadW;

  using DocumentBase::GetRoot;
  void SetRoot(NodeHandle node) {  // no node: the root stays
    if (node) DocumentBase::SetRoot(std::move(node));
  }

  // Free-standing nodes, each as a new document value.
  RefCountedJsonDocument NewObject() const { return Made(kObject); }
  RefCountedJsonDocument NewArray() const { return Made(kArray); }
  RefCountedJsonDocument NewNull() const { return Made(kNull); }
  RefCountedJsonDocument NewBool(bool value) const;
  RefCountedJsonDocument NewTextW(const ByteSet& text) const;
  RefCountedJsonDocument NewText(const Text& text) const;
  RefCountedJsonDocument NewDouble(double value) const;
  RefCountedJsonDocument NewInt64(int64_t value) const;

  using DocumentBase::ToText;
  using DocumentBase::ToTextW;
  using DocumentBase::GetCount;
  using DocumentBase::GetCountW;
  using DocumentBase::GetType;
  using DocumentBase::GetTypeW;
  using Base::GetParent;
  using Base::GetParentW;

  // Takes the root out of the container that holds it (if any).
  void Detach();

  using DocumentBase::ClearAt;
  using DocumentBase::ClearAtW;
  using DocumentBase::RemoveElement;
  using DocumentBase::RemoveElementW;
  using DocumentBase::RemoveMember;
  using DocumentBase::RemoveMemberW;
  using Base::GetMember;
  using Base::GetMemberW;
  using DocumentBase::GetName;
  using DocumentBase::GetNameW;
  using Base::GetChildAt;
  using Base::GetChildAtW;
  using Base::GetNode;
  using Base::GetNodeW;

  // Deep copies of another value's root put into this tree.
  bool PutMember(const Text& path, const Text& key, const RefCountedJsonDocument& source) const {
    return DocumentBase::PutMember(path, key, source);
  }
  bool PutMemberW(const ByteSet& path, const ByteSet& key, const RefCountedJsonDocument& source) const {
    return DocumentBase::PutMemberW(path, key, source);
  }
  bool Append(const Text& path, const RefCountedJsonDocument& source) const { return DocumentBase::Append(path, source); }
  bool AppendW(const ByteSet& path, const RefCountedJsonDocument& source) const {
    return DocumentBase::AppendW(path, source);
  }
  bool Insert(const Text& path, int32_t index, const RefCountedJsonDocument& source) const;
  bool InsertW(const ByteSet& path, int32_t index, const RefCountedJsonDocument& source) const;
  bool SetElement(const Text& path, int32_t index, const RefCountedJsonDocument& source) const {
    return DocumentBase::SetElement(path, index, source);
  }
  bool SetElementW(const ByteSet& path, int32_t index, const RefCountedJsonDocument& source) const {
    return DocumentBase::SetElementW(path, index, source);
  }
  bool InsertMember(const Text& path, int32_t pos, const Text& key, const RefCountedJsonDocument& source) const;
  bool InsertMemberW(const ByteSet& path, int32_t pos, const ByteSet& key, const RefCountedJsonDocument& source) const;
  bool MergeObject(const Text& path, const RefCountedJsonDocument& source) const {
    return DocumentBase::MergeObject(path, source);
  }
  bool ConcatArray(const Text& path, const RefCountedJsonDocument& source) const {
    return DocumentBase::ConcatArray(path, source);
  }

  using DocumentBase::HasPath;
  using DocumentBase::HasPathW;

  using DocumentBase::SetBool;
  using DocumentBase::SetBoolW;
  using DocumentBase::SetDouble;
  using DocumentBase::SetDoubleW;
  using DocumentBase::SetInt64;
  using DocumentBase::SetInt64W;
  using DocumentBase::SetNull;
  using DocumentBase::SetNullW;
  using DocumentBase::SetText;
  using DocumentBase::SetTextW;

  using DocumentBase::GetBool;
  using DocumentBase::GetBoolW;
  using DocumentBase::GetDouble;
  using DocumentBase::GetDoubleW;
  using DocumentBase::GetInt64;
  using DocumentBase::GetInt64W;
  using DocumentBase::GetLiteral;
  using DocumentBase::GetLiteralW;
  using DocumentBase::GetText;
  using DocumentBase::GetTextW;
  using DocumentBase::GetKeys;
  using DocumentBase::GetKeysW;
  using Base::ViewOf;  // a document value of a node handle (for example one given to a comparator)
  using Base::GetChildren;
  using Base::GetChildrenW;
  using Base::CopyNode;
  using Base::CopyNodeW;

  // Any non-zero `descending` sorts in descending order.
  bool SortByKey(const Text& path = {}, bool descending = false) const { return DocumentBase::SortByKey(path, descending); }
  bool SortByKeyW(const ByteSet& path = {}, bool descending = false) const {
    return DocumentBase::SortByKeyW(path, descending);
  }
  using DocumentBase::Sort;
  using DocumentBase::SortW;

  // Parses `text` and merges it into the node at the path: objects member
  // by member at every depth, other values replace the member they meet;
  // members the node lacks come in only with `addNew`. False when nothing
  // was merged.
  bool ParseAt(const Text& path, const Text& text, bool decode = false, bool addNew = false) const {
    return MergeText(path, text, decode ? kDecodeUnicodeEscapes : 0, addNew);
  }
  bool ParseAtW(const ByteSet& path, const ByteSet& text, bool decode = false, bool addNew = false) const {
    return MergeTextW(path, text, decode ? kDecodeUnicodeEscapes : 0, addNew);
  }

  // A document value of a node of another value's tree.
  RefCountedJsonDocument(NodeHandle node, const DocumentBase& origin) : Base(std::move(node), origin) {}

 private:
  RefCountedJsonDocument Made(int32_t type) const { return {NewNode(type), *this}; }
  // A new node of the type, given to `set` with the texts (none when memory runs out).
  template <class Set, class... A>
  RefCountedJsonDocument MadeWith(int32_t type, Set&& set, const A&... text) const;
};

}  // namespace zoq::json
