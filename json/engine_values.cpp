// Reading values with conversions, sorting children, merging trees.
#include <cmath>
#include <limits>

#include "json/engine.hpp"
#include "json/seams.hpp"

namespace zoq::json::detail {
namespace {

int64_t Truncate(double x) {
  if (std::isnan(x)) return 0;
  if (x >= 9223372036854775807.0) return std::numeric_limits<int64_t>::max();
  if (x <= -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(x);
}

bool IsScalarNumber(const Node* n) { return n->type == kDouble || n->type == kInt64; }

// Moves every child of a detached container out of it, in order.
std::vector<NodeRef> TakeKids(Node* n) {
  std::vector<NodeRef> kids;
  kids.reserve(n->kids.size());
  for (Node* k : n->kids) {
    k->parent = nullptr;
    kids.push_back(NodeRef::Adopt(k));
  }
  n->kids.clear();
  n->index.reset();
  return kids;
}

}  // namespace

std::u16string TextOf(const Node* n, const Dialect& d) {
  if (!n) return {};
  if (n->type == kString) return std::u16string(n->text.data(), n->text.size());
  if (d.strictGetters) return {};
  if (n->type == kBool) return std::u16string(n->text.data(), n->text.size());
  if (IsScalarNumber(n)) {
    if (!n->text.empty()) return std::u16string(n->text.data(), n->text.size());
    return n->type == kInt64 ? FormatInt64(n->v.i) : FormatDouble(n->v.d);
  }
  return {};
}

std::u16string LiteralOf(const Node* n, const Dialect&) {
  if (!n || n->type == kString || n->IsContainer()) return {};
  return std::u16string(n->text.data(), n->text.size());
}

bool BoolOf(const Node* n, const Dialect& d) {
  if (!n) return false;
  switch (n->type) {
    case kDouble: return !d.strictGetters && std::fabs(n->v.d) > 1e-7;
    case kInt64: return !d.strictGetters && n->v.i != 0;
    case kBool: return static_cast<int32_t>(n->v.i) != 0;
    default: return false;
  }
}

double DoubleOf(const Node* n, const Dialect& d) {
  if (!n) return 0;
  switch (n->type) {
    case kDouble: return n->v.d;
    case kInt64: return static_cast<double>(n->v.i);
    case kBool: return d.strictGetters ? 0 : static_cast<double>(n->v.i != 0);
    case kString: return d.strictGetters ? 0 : ReadDouble(n->text);
    default: return 0;
  }
}

int64_t Int64Of(const Node* n, const Dialect& d) {
  if (!n) return 0;
  switch (n->type) {
    case kDouble: return Truncate(n->v.d);
    case kInt64: return n->v.i;
    case kBool: return d.strictGetters ? 0 : (n->v.i != 0);
    case kString: return d.strictGetters ? 0 : ReadInt64(n->text);
    default: return 0;
  }
}

int32_t IntOf(const Node* n, const Dialect& d) {
  if (n && n->type == kString && !d.strictGetters) return StrToInt(n->text);
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(Int64Of(n, d))));
}

void QuickSort(Kids& items, const Comparator& cmp) {
  // Sorted in a copy, taken in at the end: a comparator that throws (or
  // memory running out) leaves the container as it was, each node held once.
  Kids a(items);
  std::vector<std::pair<ptrdiff_t, ptrdiff_t>> ranges{{0, static_cast<ptrdiff_t>(a.size()) - 1}};
  while (!ranges.empty()) {
    const auto [lo, hi] = ranges.back();
    ranges.pop_back();
    if (hi <= lo) continue;
    const ptrdiff_t mid = lo + (hi - lo) / 2;
    if (cmp(a[lo], a[hi]) > 0) std::swap(a[lo], a[hi]);
    if (cmp(a[mid], a[hi]) > 0) std::swap(a[mid], a[hi]);
    if (cmp(a[mid], a[lo]) > 0) std::swap(a[mid], a[lo]);
    Node* pivot = a[lo];
    ptrdiff_t i = lo, j = hi;
    while (i < j) {
      while (i < j && cmp(a[j], pivot) >= 0) --j;
      if (i < j) a[i++] = a[j];
      while (i < j && cmp(a[i], pivot) <= 0) ++i;
      if (i < j) a[j--] = a[i];
    }
    a[i] = pivot;
    ranges.push_back({i + 1, hi});
    ranges.push_back({lo, i - 1});
  }
  items.swap(a);
}

bool SortByKey(Node* n, bool descending, bool ignoreCase) {
  if (!n || n->type != kObject) return false;
  QuickSort(n->kids, [&](Node* a, Node* b) {
    return descending ? seam::CompareKeys(b->key.c_str(), a->key.c_str(), ignoreCase)
                      : seam::CompareKeys(a->key.c_str(), b->key.c_str(), ignoreCase);
  });
  return true;
}

void SortWith(Node* n, const Comparator& cmp) {
  if (n && n->IsContainer()) QuickSort(n->kids, cmp);
}

bool MergeInto(Node* target, NodeRef source, bool addMissing, const Dialect& d, bool* changed) {
  bool any = false;
  bool ok = true;
  if (target && source && target->type == kObject && source->type == kObject) {
    std::vector<std::pair<Node*, const Node*>> work{{target, source.get()}};
    while (ok && !work.empty()) {
      auto [t, s] = work.back();
      work.pop_back();
      for (const Node* m : s->kids) {
        Node* tm = FindMember(t, m->key);
        if (tm && tm->type == kObject && m->type == kObject) {
          work.emplace_back(tm, m);
        } else if (tm || addMissing) {
          any = true;
          if (PutMember(t, m->key, DeepCopy(m, d)) == -1) { ok = false; break; }
        }
      }
    }
  } else if (target && source && target->parent && target->parent->type == kObject) {
    const Str key = target->key;
    any = true;
    ok = PutMember(target->parent, key, std::move(source)) != -1;
  } else {
    ok = false;
  }
  if (changed) *changed = any;
  return ok;
}

bool MergeObject(Node* target, const Node* source, const Dialect& d) {
  if (!target || !source || source->type != kObject) return false;
  NodeRef snap = DeepCopy(source, d);
  if (target->type != kObject) SetObject(target, d);
  for (NodeRef& m : TakeKids(snap.get()))
    if (PutKeyed(target, std::move(m)) == -1) return false;
  return true;
}

bool ConcatArray(Node* target, const Node* source, const Dialect& d) {
  if (!target || !source || source->type != kArray) return false;
  NodeRef snap = DeepCopy(source, d);
  if (target->type != kArray) SetArray(target, d);
  for (NodeRef& e : TakeKids(snap.get()))
    if (!InsertElement(target, std::nullopt, std::move(e))) return false;
  return true;
}

}  // namespace zoq::json::detail
