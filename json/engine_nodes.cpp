// Nodes, their reference counts, the containers and the deep copy.
#include <algorithm>
#include <cstdio>

#include "json/engine.hpp"
#include "json/seams.hpp"
#include "text/text.hpp"

namespace zoq::json::detail {

namespace {

constexpr size_t kLinearMembers = 8;

// Keyed with a secret of the process: the keys of a web service's answer,
// built to share an unkeyed hash, would make the index one run that every
// insert and lookup walks (an answer read for seconds).
uint32_t HashKey(std::u16string_view k) {
  static const struct Secret {
    Secret() { seam::IndexSecret(key); }
    uint32_t key[2];
  } secret;
  return text::HalfSipHash13(secret.key,
                             std::string_view(reinterpret_cast<const char*>(k.data()), k.size() * sizeof(char16_t)));
}

void IndexInsert(MemberIndex& ix, Node* n) {
  if ((ix.used + 1) * 2 > ix.slots.size()) {
    std::vector<Node*> old;
    old.swap(ix.slots);
    ix.slots.assign(old.empty() ? 32 : old.size() * 2, nullptr);
    ix.used = 0;
    for (Node* o : old)
      if (o) IndexInsert(ix, o);
  }
  const size_t mask = ix.slots.size() - 1;
  size_t s = HashKey(n->key) & mask;
  while (ix.slots[s]) s = (s + 1) & mask, ++ix.steps;
  ix.slots[s] = n;
  ++ix.used;
}

MemberIndex& EnsureIndex(Node* obj) {
  if (!obj->index) {
    auto ix = std::make_unique<MemberIndex>();
    ix->slots.reserve(obj->kids.size() * 4);
    for (Node* k : obj->kids) IndexInsert(*ix, k);
    obj->index = std::move(ix);
  }
  return *obj->index;
}

void DetachAndRelease(Node* kid) {
  kid->parent = nullptr;
  Release(kid);
}

void ResetValue(Node* n) {
  Kids kids;
  kids.swap(n->kids);
  n->index.reset();
  n->text.clear();
  n->v.i = 0;
  n->type = kNull;
  for (Node* k : kids) DetachAndRelease(k);
}

// A shallow copy: scalars whole, containers empty.
NodeRef CopyShallow(const Node* src, const Dialect& d) {
  NodeRef n = NewNode(kNull, d);
  switch (src->type) {
    case kBool: SetBool(n.get(), src->v.i != 0, d); break;
    case kDouble: SetDouble(n.get(), src->v.d, d); break;
    case kInt64: SetInt64(n.get(), src->v.i, d); break;
    case kString: SetString(n.get(), src->text, d); break;
    case kArray:
    case kObject:
      n->type = src->type;
      n->kids.reserve(src->kids.size());
      break;
    default: break;
  }
  return n;
}

}  // namespace

Node::Node() { v.i = 0; }
Node::~Node() = default;

void AddRef(Node* n) { n->refs.fetch_add(1, std::memory_order_relaxed); }

void Release(Node* n) {
  if (n->refs.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  // The nodes to free wait in a list linked through their parent fields:
  // letting go of a tree of any size takes no memory.
  n->parent = nullptr;
  for (Node* x = n; x;) {
    Node* next = x->parent;
    for (Node* k : x->kids) {
      // A count of 1 is ours alone: nobody else can reach the node to change it.
      if (k->refs.load(std::memory_order_acquire) == 1 || k->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        k->parent = next;
        next = k;
      } else {
        k->parent = nullptr;
      }
    }
    delete x;
    x = next;
  }
}

std::u16string FormatDouble(double x) {
  char buf[64];
  const int n = std::snprintf(buf, sizeof buf, "%.13g", x);
  return std::u16string(buf, buf + (n > 0 ? n : 0));
}

std::u16string FormatInt64(int64_t x) {
  char buf[32];
  const int n = std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(x));
  return std::u16string(buf, buf + (n > 0 ? n : 0));
}

NodeRef NewNode(int32_t type, const Dialect& d) {
  if (type < kNull || type > kObject) return {};
  NodeRef n = NodeRef::Adopt(new Node);
  switch (type) {
    case kNull: ClearNode(n.get(), d); break;
    case kDouble: SetNumber(n.get(), kDouble, 0.0, 0, u"0", d); break;
    case kInt64: SetNumber(n.get(), kInt64, 0.0, 0, u"0", d); break;
    case kBool: SetBool(n.get(), false, d); break;
    default: n->type = type; break;
  }
  return n;
}

void ClearNode(Node* n, const Dialect& d) {
  ResetValue(n);
  if (d.nullLiteral) n->text = u"null";
}

void EmptyNode(Node* n) {
  const int32_t type = n->type;
  ResetValue(n);
  n->type = type;
}

bool DetachNode(Node* n) {
  Node* p = n ? n->parent : nullptr;
  if (!p) return false;
  const auto at = std::find(p->kids.begin(), p->kids.end(), n);
  if (at != p->kids.end()) p->kids.erase(at);
  p->index.reset();
  DetachAndRelease(n);  // the container's reference
  return true;
}

void SetObject(Node* n, const Dialect&) { ResetValue(n); n->type = kObject; }
void SetArray(Node* n, const Dialect&) { ResetValue(n); n->type = kArray; }

void SetString(Node* n, std::u16string_view s, const Dialect&) {
  ResetValue(n);
  n->type = kString;
  n->text.assign(s.data(), s.size());
}

void SetBool(Node* n, bool b, const Dialect&) {
  ResetValue(n);
  n->type = kBool;
  n->v.i = b ? 1 : 0;
  n->text = b ? u"true" : u"false";
}

void SetNumber(Node* n, int32_t type, double x, int64_t i, std::u16string_view literal, const Dialect&) {
  ResetValue(n);
  n->type = type;
  if (type == kDouble) n->v.d = x; else n->v.i = i;
  n->text.assign(literal.data(), literal.size());
}

void SetDouble(Node* n, double x, const Dialect& d) { SetNumber(n, kDouble, x, 0, FormatDouble(x), d); }
void SetInt64(Node* n, int64_t x, const Dialect& d) { SetNumber(n, kInt64, 0.0, x, FormatInt64(x), d); }

NodeRef DeepCopy(const Node* src, const Dialect& d) {
  if (!src) return {};
  NodeRef root = CopyShallow(src, d);
  std::vector<std::pair<const Node*, Node*>> work;
  if (src->IsContainer()) work.emplace_back(src, root.get());
  while (!work.empty()) {
    auto [s, t] = work.back();
    work.pop_back();
    for (const Node* k : s->kids) {
      NodeRef c = CopyShallow(k, d);
      if (s->type == kObject) c->key = k->key;
      c->parent = t;
      if (k->IsContainer() && !k->kids.empty()) work.emplace_back(k, c.get());
      t->kids.push_back(c.get());
      c.Detach();  // the container holds it now
    }
  }
  return root;
}

void MoveContent(Node* target, Node* source) {
  ResetValue(target);
  target->type = source->type;
  target->v = source->v;
  target->text.swap(source->text);
  target->kids.swap(source->kids);
  target->index = std::move(source->index);
  for (Node* k : target->kids) k->parent = target;
  source->type = kNull;
  source->v.i = 0;
}

Node* FindMember(const Node* obj, std::u16string_view key) {
  if (!obj || obj->type != kObject) return nullptr;
  if (obj->kids.size() <= kLinearMembers && !obj->index) {
    for (Node* k : obj->kids)
      if (k->key == key) return k;
    return nullptr;
  }
  MemberIndex& ix = EnsureIndex(const_cast<Node*>(obj));
  const size_t mask = ix.slots.size() - 1;
  for (size_t s = HashKey(key) & mask; ix.slots[s]; s = (s + 1) & mask)
    if (ix.slots[s]->key == key) return ix.slots[s];
  return nullptr;
}

int PutMember(Node* obj, std::u16string_view key, NodeRef node, std::optional<int32_t> pos) {
  if (!node) return -1;
  node->key.assign(key.data(), key.size());
  return PutKeyed(obj, std::move(node), pos);
}

int PutKeyed(Node* obj, NodeRef node, std::optional<int32_t> pos) {
  if (!obj || obj->type != kObject || !node) return -1;
  Node* old = FindMember(obj, node->key);
  if (!old && pos && (*pos < 0 || static_cast<size_t>(*pos) > obj->kids.size())) return -1;
  Node* n = node.get();
  if (old) {
    node.Detach();
    n->parent = obj;
    *std::find(obj->kids.begin(), obj->kids.end(), old) = n;
    if (obj->index) {
      MemberIndex& ix = *obj->index;
      const size_t mask = ix.slots.size() - 1;
      size_t s = HashKey(n->key) & mask;
      while (ix.slots[s] != old) s = (s + 1) & mask;
      ix.slots[s] = n;
    }
    DetachAndRelease(old);
    return 1;
  }
  // Entered first, taken over after: when memory runs out the node is freed, not lost.
  if (!pos) obj->kids.push_back(n);
  else obj->kids.insert(obj->kids.begin() + *pos, n);
  node.Detach();
  n->parent = obj;
  if (obj->index) {
    try {
      IndexInsert(*obj->index, n);
    } catch (...) {
      obj->index.reset();  // made again when next needed
      throw;
    }
  }
  return 0;
}

bool RemoveMember(Node* obj, std::u16string_view key) {
  Node* m = FindMember(obj, key);
  if (!m) return false;
  obj->kids.erase(std::find(obj->kids.begin(), obj->kids.end(), m));
  obj->index.reset();
  DetachAndRelease(m);
  return true;
}

bool InsertElement(Node* arr, std::optional<int32_t> index, NodeRef node) {
  if (!arr || arr->type != kArray || !node) return false;
  if (index && (*index < 0 || static_cast<size_t>(*index) > arr->kids.size())) return false;
  Node* n = node.get();
  if (!index) arr->kids.push_back(n);
  else arr->kids.insert(arr->kids.begin() + *index, n);
  node.Detach();  // the array holds it now
  n->parent = arr;
  return true;
}

bool SetElement(Node* arr, int32_t index, NodeRef node, const Dialect& d) {
  if (!arr || !node || index < 0) return false;
  if (arr->type != kArray) SetArray(arr, d);
  if (static_cast<size_t>(index) < arr->kids.size()) {
    Node*& slot = arr->kids[static_cast<size_t>(index)];
    DetachAndRelease(slot);
    slot = node.Detach();
    slot->parent = arr;
    return true;
  }
  if (static_cast<size_t>(index) - arr->kids.size() > kMaxPadding) return false;
  while (arr->kids.size() < static_cast<size_t>(index)) InsertElement(arr, std::nullopt, NewNode(kNull, d));
  return InsertElement(arr, std::nullopt, std::move(node));
}

bool RemoveElement(Node* arr, int32_t index) {
  if (!arr || arr->type != kArray || index < 0 || static_cast<size_t>(index) >= arr->kids.size()) return false;
  Node* e = arr->kids[static_cast<size_t>(index)];
  arr->kids.erase(arr->kids.begin() + index);
  DetachAndRelease(e);
  return true;
}

Node* ChildAt(const Node* n, int32_t index) {
  if (!n || !n->IsContainer() || index < 0 || static_cast<size_t>(index) >= n->kids.size()) return nullptr;
  return n->kids[static_cast<size_t>(index)];
}

Node* GetOrCreateMember(Node* n, std::u16string_view key, const Dialect& d) {
  if (!n) return nullptr;
  if (n->type != kObject) SetObject(n, d);
  if (Node* m = FindMember(n, key)) return m;
  NodeRef m = NewNode(kNull, d);
  Node* raw = m.get();
  return PutMember(n, key, std::move(m)) == -1 ? nullptr : raw;
}

Node* GetOrCreateElement(Node* n, int32_t index, const Dialect& d) {
  if (!n) return nullptr;
  if (n->type != kArray) SetArray(n, d);
  if (index < 0) return nullptr;
  if (static_cast<size_t>(index) > n->kids.size() && static_cast<size_t>(index) - n->kids.size() > kMaxPadding)
    return nullptr;
  while (n->kids.size() <= static_cast<size_t>(index)) InsertElement(n, std::nullopt, NewNode(kNull, d));
  return n->kids[static_cast<size_t>(index)];
}

}  // namespace zoq::json::detail
