// tuplelist: the compact index, its slots, attributes, methods and type object.
#include "containers/tuplelist.hpp"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>
#include <utility>
#include <vector>

#include "algebra/object_arrays.hpp"
#include "containers/builtins.hpp"
#include "runtime/args.hpp"
#include "runtime/decorators.hpp"
#include "runtime/errors.hpp"
#include "runtime/function.hpp"
#include "runtime/members.hpp"
#include "runtime/strings.hpp"
#include "runtime/types.hpp"

namespace velmorpy {

namespace {

// The item check's two texts. They travel as bytes: the ValueError's one
// argument is a bytes object.
constexpr char kMixText[] = "Cannot mix scalar and tuple values in a tuplelist";
constexpr char kLengthText[] = "All tuples in a tuplelist must be the same length";

PyObject* obj(TupleListObject* self) { return reinterpret_cast<PyObject*>(self); }

[[noreturn]] void raise_item_error(const char* text) {
  Ref message = take(PyBytes_FromString(text));
  PyErr_SetObject(PyExc_ValueError, message.get());
  throw PyErrAlreadySet{};
}

[[noreturn]] void raise_expected(const char* expected, PyObject* given) {
  raise_format(PyExc_TypeError, "Expected %s, got %.200s", expected, Py_TYPE(given)->tp_name);
}

// A sequence item is a tuple or a list (subclasses included); anything else is a scalar item.
bool is_sequence_item(PyObject* e) { return PyTuple_Check(e) || PyList_Check(e); }

// len(e) of a sequence item, -1 for a scalar item. A subclass may have its own __len__.
Py_ssize_t item_width(PyObject* e) {
  if (PyTuple_CheckExact(e)) return PyTuple_GET_SIZE(e);
  if (PyList_CheckExact(e)) return PyList_GET_SIZE(e);
  if (!is_sequence_item(e)) return -1;
  const Py_ssize_t n = PyObject_Length(e);
  if (n < 0) throw_error_set();
  return n;
}

PyObject* none_if_null(PyObject* p) { return p ? p : Py_None; }

// --- the compact index ------------------------------------------------------------

// Item positions in the compact index; a list longer than this keeps the
// index of Python objects.
constexpr Py_ssize_t kMaxCompactItems = INT32_MAX;

}  // namespace

struct CompactIndex {
  struct Field {
    PyObject* values = nullptr;       // dict: field value -> its number (an int), strong
    std::vector<int64_t> start;       // positions of value v: pos[start[v], start[v + 1])
    std::vector<int32_t> pos;         // item positions, grouped by value, ascending in each group
  };
  std::vector<Field> fields;
  int64_t refs = 1;  // the tuplelist's, and those of the queries reading it
  ~CompactIndex() {
    for (Field& f : fields) Py_XDECREF(f.values);
  }
};

namespace {

// The number of a value in a field's dict. The dicts can be reached through
// the collector's referents, so an entry is checked before it is used.
size_t value_number(const CompactIndex::Field& f, PyObject* number) {
  const long v = PyLong_CheckExact(number) ? PyLong_AsLong(number) : -1;
  if (v < 0 || static_cast<size_t>(v) + 1 >= f.start.size())
    raise(PyExc_RuntimeError, "the index of a tuplelist was changed from outside");
  return static_cast<size_t>(v);
}

void release_index(CompactIndex* index) noexcept {
  if (index && --index->refs == 0) delete index;  // releases the dicts: may run finalisers
}

// A compact index held for the length of a query: user code run by the query
// may drop the list's own reference.
class IndexPin {
 public:
  IndexPin() = default;
  explicit IndexPin(CompactIndex* index) noexcept : p_(index) { if (p_) ++p_->refs; }
  IndexPin(IndexPin&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  IndexPin(const IndexPin&) = delete;
  IndexPin& operator=(const IndexPin&) = delete;
  ~IndexPin() { release_index(p_); }
  CompactIndex* get() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }

 private:
  CompactIndex* p_ = nullptr;
};

void drop_index(TupleListObject* self) {
  CompactIndex* compact = self->compact_;
  self->compact_ = nullptr;
  Py_XSETREF(self->tuple_index_, Py_NewRef(Py_None));
  ++self->changes_;
  release_index(compact);
}

bool has_index(TupleListObject* self) { return self->tuple_index_ && self->tuple_index_ != Py_None; }

// self[i], held: user code run later (==, hash) may shrink the list.
Ref item_at(TupleListObject* self, Py_ssize_t i) {
  if (i < 0 || i >= PyList_GET_SIZE(obj(self))) raise(PyExc_IndexError, "list index out of range");
  return Ref::borrow(PyList_GET_ITEM(obj(self), i));
}

// Field j of an item: item[j] for a sequence item, the item itself for a scalar one.
Ref field_at(PyObject* item, Py_ssize_t j) {
  if (PyTuple_CheckExact(item)) {
    if (j >= PyTuple_GET_SIZE(item)) raise(PyExc_IndexError, "tuple index out of range");
    return Ref::borrow(PyTuple_GET_ITEM(item, j));
  }
  if (is_sequence_item(item)) return take(PySequence_GetItem(item, j));
  return Ref::borrow(item);
}

// The width n of the items: len(self[0]) for sequence items, 1 for scalars.
// Measured on every query; the list is not empty.
Py_ssize_t items_width(TupleListObject* self) {
  Ref first = item_at(self, 0);
  const Py_ssize_t w = item_width(first.get());
  return w < 0 ? 1 : w;
}

// Position k of an inverted list. tuple_index_ can be replaced from Python and
// is then trusted, so its contents are checked as they are read.
Py_ssize_t position_at(PyObject* list, Py_ssize_t k) {
  const Py_ssize_t v = PyLong_AsSsize_t(PyList_GET_ITEM(list, k));
  if (v == -1 && PyErr_Occurred()) throw_error_set();
  return v;
}

PyObject* expect_list(PyObject* o) {
  if (!PyList_Check(o)) raise_expected("list", o);
  return o;
}

// The items of `li` as a list or tuple, so that they are read once: a list or
// tuple as it is, anything else iterated into a new list.
Ref items_of(PyObject* li) {
  if (PyList_CheckExact(li) || PyTuple_CheckExact(li)) return Ref::borrow(li);
  return take(PySequence_List(li));
}

// Checks every item of `items` (a list or tuple) before anything changes: each
// against self[0], or against the first of `items` when self is empty.
void check_items(TupleListObject* self, PyObject* items) {
  if (PySequence_Fast_GET_SIZE(items) == 0) return;
  Ref first = Ref::borrow(PySequence_Fast_GET_ITEM(items, 0));
  for (Py_ssize_t k = 0; k < PySequence_Fast_GET_SIZE(items); ++k) {
    Ref e = Ref::borrow(PySequence_Fast_GET_ITEM(items, k));
    tuplelist_check(self, e.get(), first.get());
  }
}

// Enters `pos` under `value` in one dict of the index. The dict is private to
// the build under way, so the list borrowed from it stays valid.
//
// An inverted list holds position ints only and cannot be part of a reference
// cycle, so it is not tracked by the collector: a build makes up to one list
// per item and field, and collections walking them cost several times the
// build itself. (A list of the index given other contents from Python stays
// untracked: a cycle through it would not be collected.)
void enter(PyObject* dict, PyObject* value, PyObject* pos) {
  if (PyObject* list = PyDict_GetItemWithError(dict, value)) {
    check(PyList_Append(list, pos));
    return;
  }
  if (PyErr_Occurred()) throw_error_set();
  Ref fresh = take(PyList_New(1));
  PyObject_GC_UnTrack(fresh.get());
  PyList_SET_ITEM(fresh.get(), 0, Py_NewRef(pos));
  check(PyDict_SetItem(dict, value, fresh.get()));
}

// The Python form of a compact index: per field position a dict from each
// value (in the order of their first items) to the ascending list of its
// positions, the position ints shared by the fields.
Ref index_objects(const CompactIndex& compact, Py_ssize_t items) {
  std::vector<Ref> positions;
  positions.reserve(static_cast<size_t>(items));
  for (Py_ssize_t i = 0; i < items; ++i) positions.push_back(take(PyLong_FromSsize_t(i)));
  Ref index = take(PyList_New(static_cast<Py_ssize_t>(compact.fields.size())));
  for (size_t j = 0; j < compact.fields.size(); ++j) {
    const CompactIndex::Field& f = compact.fields[j];
    PyObject* dict = check(PyDict_New());
    PyList_SET_ITEM(index.get(), static_cast<Py_ssize_t>(j), dict);
    Py_ssize_t at = 0;
    PyObject *value, *number;
    while (PyDict_Next(f.values, &at, &value, &number)) {
      Ref pin = Ref::borrow(value);  // hashing it below runs code that may reach the dict
      const size_t v = value_number(f, number);
      const int64_t begin = f.start[v], end = f.start[v + 1];
      Ref list = take(PyList_New(static_cast<Py_ssize_t>(end - begin)));
      PyObject_GC_UnTrack(list.get());  // position ints only (see enter)
      for (int64_t k = begin; k < end; ++k)
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(k - begin), Py_NewRef(positions[f.pos[k]].get()));
      check(PyDict_SetItem(dict, value, list.get()));  // the values hash as they did when the index was built
    }
  }
  return index;
}

// tuple_index_ as Python objects: made from the compact index when a query
// built one. From then on the Python objects are the index (code that
// changes them changes what queries find).
void materialise_index(TupleListObject* self) {
  if (!self->compact_) return;
  IndexPin pin(self->compact_);
  const uint64_t before = self->changes_;
  Ref index = index_objects(*pin.get(), static_cast<Py_ssize_t>(pin.get()->fields.empty()
                                                                    ? 0
                                                                    : pin.get()->fields[0].pos.size()));
  if (self->changes_ != before || self->compact_ != pin.get()) return;  // the items changed meanwhile
  self->compact_ = nullptr;
  Py_XSETREF(self->tuple_index_, Py_NewRef(index.get()));
  release_index(pin.get());  // the list's reference; the pin's goes at the end of the scope
}

// The compact index of the first `count` items' n fields, built in one pass
// over the items (their field values numbered in the order met, as the
// Python index enters them) and one over the numbers. Throws.
CompactIndex* build_compact(TupleListObject* self, Py_ssize_t n) {
  std::unique_ptr<CompactIndex> index = std::make_unique<CompactIndex>();
  index->fields.resize(static_cast<size_t>(n));
  for (CompactIndex::Field& f : index->fields) f.values = check(PyDict_New());
  std::vector<std::vector<int32_t>> numbers(static_cast<size_t>(n));
  std::vector<std::vector<int64_t>> counts(static_cast<size_t>(n));
  for (Py_ssize_t i = 0; i < PyList_GET_SIZE(obj(self)); ++i) {
    Ref item = item_at(self, i);
    for (Py_ssize_t j = 0; j < n; ++j) {
      Ref value = field_at(item.get(), j);
      CompactIndex::Field& f = index->fields[static_cast<size_t>(j)];
      std::vector<int64_t>& count = counts[static_cast<size_t>(j)];
      long v;
      if (PyObject* number = PyDict_GetItemWithError(f.values, value.get())) {
        v = PyLong_AsLong(number);
      } else {
        if (PyErr_Occurred()) throw_error_set();
        v = static_cast<long>(count.size());
        Ref fresh = take(PyLong_FromLong(v));
        check(PyDict_SetItem(f.values, value.get(), fresh.get()));
        count.push_back(0);
      }
      ++count[static_cast<size_t>(v)];
      numbers[static_cast<size_t>(j)].push_back(static_cast<int32_t>(v));
    }
  }
  for (size_t j = 0; j < index->fields.size(); ++j) {
    CompactIndex::Field& f = index->fields[j];
    const std::vector<int64_t>& count = counts[j];
    f.start.assign(count.size() + 1, 0);
    for (size_t v = 0; v < count.size(); ++v) f.start[v + 1] = f.start[v] + count[v];
    std::vector<int64_t> next(f.start.begin(), f.start.end() - 1);
    const std::vector<int32_t>& of_item = numbers[j];
    f.pos.resize(of_item.size());
    for (size_t i = 0; i < of_item.size(); ++i) f.pos[static_cast<size_t>(next[of_item[i]]++)] = static_cast<int32_t>(i);
    numbers[j] = std::vector<int32_t>();  // freed before the next field's positions are made
  }
  return index.release();
}

// The compact index, built now when there is none, held for the caller; an
// empty pin for a list too long for it. Built aside and installed only if no
// change came in between, as the Python index is.
IndexPin compact_index(TupleListObject* self, Py_ssize_t n) {
  if (self->compact_) return IndexPin(self->compact_);
  if (PyList_GET_SIZE(obj(self)) > kMaxCompactItems) return IndexPin();
  const uint64_t before = self->changes_;
  CompactIndex* built = build_compact(self, n);
  IndexPin pin(built);
  release_index(built);  // the pin holds it now
  if (self->changes_ == before && !has_index(self)) {
    self->compact_ = built;
    ++built->refs;
  }
  return pin;
}

// The index, built now when there is none: one pass over all items and fields.
// It is built aside and installed only if no change came in between, because
// hashing and comparing field values runs user code that may change the list.
Ref ensure_index(TupleListObject* self, Py_ssize_t n) {
  materialise_index(self);
  if (has_index(self)) return Ref::borrow(self->tuple_index_);
  const uint64_t before = self->changes_;
  Ref index = take(PyList_New(n));
  for (Py_ssize_t j = 0; j < n; ++j) PyList_SET_ITEM(index.get(), j, check(PyDict_New()));
  for (Py_ssize_t i = 0; i < PyList_GET_SIZE(obj(self)); ++i) tuplelist_build(self, index.get(), i);
  if (self->changes_ == before) Py_XSETREF(self->tuple_index_, Py_NewRef(index.get()));
  return index;
}

// Dict j of the index, held.
Ref index_dict(PyObject* index, Py_ssize_t j) {
  if (j >= PyList_GET_SIZE(index)) raise(PyExc_IndexError, "list index out of range");
  PyObject* dict = PyList_GET_ITEM(index, j);
  if (!PyDict_Check(dict)) raise_expected("dict", dict);
  return Ref::borrow(dict);
}

// The inverted list of `value` in `dict`, held, or null when the dict lacks it.
Ref inverted_list(PyObject* dict, PyObject* value) {
  PyObject* list = PyDict_GetItemWithError(dict, value);
  if (!list) {
    if (PyErr_Occurred()) throw_error_set();
    return Ref();
  }
  return Ref::borrow(expect_list(list));
}

// The union of the inverted lists of the alternatives in the list or tuple `q`
// (values no item holds add nothing): every position collected, then sorted
// and de-duplicated once. Null when no alternative has a list.
Ref alternatives_union(PyObject* dict, PyObject* q) {
  Ref alternatives = take(PySequence_Fast(q, "query alternatives must be a sequence"));
  // Every list is held while the others are looked up: hashing and comparing an
  // alternative runs user code.
  std::vector<Ref> found;
  for (Py_ssize_t k = 0; k < PySequence_Fast_GET_SIZE(alternatives.get()); ++k) {
    Ref alt = Ref::borrow(PySequence_Fast_GET_ITEM(alternatives.get(), k));
    Ref t = inverted_list(dict, alt.get());
    if (t) found.push_back(std::move(t));
  }
  if (found.empty()) return Ref();
  if (found.size() == 1) return std::move(found.front());
  // No user code runs from here on: the position objects stay in their lists.
  std::vector<std::pair<Py_ssize_t, PyObject*>> positions;
  for (const Ref& t : found)
    for (Py_ssize_t k = 0; k < PyList_GET_SIZE(t.get()); ++k)
      positions.emplace_back(position_at(t.get(), k), PyList_GET_ITEM(t.get(), k));
  std::sort(positions.begin(), positions.end(),
            [](const std::pair<Py_ssize_t, PyObject*>& a, const std::pair<Py_ssize_t, PyObject*>& b) {
              return a.first < b.first;
            });
  positions.erase(std::unique(positions.begin(), positions.end(),
                              [](const std::pair<Py_ssize_t, PyObject*>& a,
                                 const std::pair<Py_ssize_t, PyObject*>& b) { return a.first == b.first; }),
                  positions.end());
  Ref merged = take(PyList_New(static_cast<Py_ssize_t>(positions.size())));
  for (size_t k = 0; k < positions.size(); ++k)
    PyList_SET_ITEM(merged.get(), static_cast<Py_ssize_t>(k), Py_NewRef(positions[k].second));
  return merged;
}

// Whether `field` equals one of the alternatives in the list or tuple `q`.
bool any_alternative(PyObject* q, PyObject* field) {
  Ref alternatives = take(PySequence_Fast(q, "query alternatives must be a sequence"));
  for (Py_ssize_t k = 0; k < PySequence_Fast_GET_SIZE(alternatives.get()); ++k) {
    Ref alt = Ref::borrow(PySequence_Fast_GET_ITEM(alternatives.get(), k));
    if (check(PyObject_RichCompareBool(field, alt.get(), Py_EQ))) return true;
  }
  return false;
}

Ref inv_lists(TupleListObject* self, PyObject* query, Py_ssize_t n) {
  const Py_ssize_t nq = PyTuple_GET_SIZE(query);
  if (nq > n) return take(PyList_New(0));
  Ref index = ensure_index(self, n);
  Ref wildcard = Ref::borrow(none_if_null(self->wildcard_));
  Ref result = take(PyList_New(0));
  for (Py_ssize_t i = 0; i < nq; ++i) {
    PyObject* q = PyTuple_GET_ITEM(query, i);  // the tuple holds it
    if (check(PyObject_RichCompareBool(q, wildcard.get(), Py_EQ))) continue;
    Ref dict = index_dict(index.get(), i);
    Ref l;
    if (is_sequence_item(q)) {
      l = alternatives_union(dict.get(), q);
    } else {
      l = inverted_list(dict.get(), q);
    }
    if (!l || PyList_GET_SIZE(l.get()) == 0) return take(PyList_New(0));
    check(PyList_Append(result.get(), l.get()));
  }
  if (PyList_GET_SIZE(result.get()) == 0) return Ref::borrow(Py_None);
  return result;
}

// An ascending run of item positions: of the compact index, or of a vector
// made by a query.
struct Positions {
  const int32_t* data = nullptr;
  size_t size = 0;
};

// The positions of `value` in field `f`, or none when no item holds it.
bool positions_of(const CompactIndex::Field& f, PyObject* value, Positions& out) {
  PyObject* number = PyDict_GetItemWithError(f.values, value);
  if (!number) {
    if (PyErr_Occurred()) throw_error_set();
    return false;
  }
  const size_t v = value_number(f, number);
  out.data = f.pos.data() + f.start[v];
  out.size = static_cast<size_t>(f.start[v + 1] - f.start[v]);
  return true;
}

// tuplelist_select through the compact index (pinned by the caller): the
// same look-ups, merges and checks as through the Python index, on
// positions kept as 32-bit integers.
Ref select_compact(TupleListObject* self, const CompactIndex& index, PyObject* query, Py_ssize_t n, Ref result) {
  const Py_ssize_t nq = PyTuple_GET_SIZE(query);
  Ref wildcard = Ref::borrow(none_if_null(self->wildcard_));
  std::vector<std::vector<int32_t>> made;  // unions and intersections; never grown past nq + nq
  made.reserve(static_cast<size_t>(2 * nq));
  std::vector<Positions> lists;
  for (Py_ssize_t i = 0; i < nq; ++i) {
    PyObject* q = PyTuple_GET_ITEM(query, i);  // the tuple holds it
    if (check(PyObject_RichCompareBool(q, wildcard.get(), Py_EQ))) continue;
    // An item changed in place (a list item) may have made the width larger
    // than the index's: as the Python index's look-up, IndexError.
    if (static_cast<size_t>(i) >= index.fields.size()) raise(PyExc_IndexError, "list index out of range");
    const CompactIndex::Field& f = index.fields[static_cast<size_t>(i)];
    Positions l;
    bool found = false;
    if (is_sequence_item(q)) {
      // The union of the alternatives' positions (values no item holds add nothing).
      Ref alternatives = take(PySequence_Fast(q, "query alternatives must be a sequence"));
      std::vector<Positions> parts;
      for (Py_ssize_t k = 0; k < PySequence_Fast_GET_SIZE(alternatives.get()); ++k) {
        Ref alt = Ref::borrow(PySequence_Fast_GET_ITEM(alternatives.get(), k));
        Positions part;
        if (positions_of(f, alt.get(), part)) parts.push_back(part);
      }
      found = !parts.empty();
      if (parts.size() == 1) {
        l = parts.front();
      } else if (found) {
        std::vector<int32_t> merged;
        for (const Positions& part : parts) merged.insert(merged.end(), part.data, part.data + part.size);
        std::sort(merged.begin(), merged.end());
        merged.erase(std::unique(merged.begin(), merged.end()), merged.end());
        made.push_back(std::move(merged));
        l = Positions{made.back().data(), made.back().size()};
      }
    } else {
      found = positions_of(f, q, l);
    }
    if (!found || l.size == 0) return result;
    lists.push_back(l);
  }
  if (lists.empty()) return make_tuplelist(obj(self));

  // Shortest list first, then merged while the candidates are many compared
  // with the next list, as tuplelist_select does.
  std::stable_sort(lists.begin(), lists.end(), [](const Positions& x, const Positions& y) { return x.size < y.size; });
  const __int128 total = PyList_GET_SIZE(obj(self));
  if (total == 0) return result;
  Positions res = lists[0];
  const size_t m = lists.size();
  bool exact = m == 1;
  for (size_t i = 1; i < m; ++i) {
    const __int128 a = static_cast<__int128>(res.size), b = static_cast<__int128>(lists[i].size);
    const __int128 est = a * b / total;
    if (a * n < a + b + est * n) break;
    if (i == m - 1) exact = true;
    std::vector<int32_t> both;
    std::set_intersection(res.data, res.data + res.size, lists[i].data, lists[i].data + lists[i].size,
                          std::back_inserter(both));
    made.push_back(std::move(both));
    res = Positions{made.back().data(), made.back().size()};
  }

  auto* out = as_tuplelist(result.get());
  for (size_t k = 0; k < res.size; ++k) {
    const Py_ssize_t pos = res.data[k];
    if (!exact && !tuplelist_match(self, pos, query)) continue;
    Ref item = item_at(self, pos);
    tuplelist_append(out, item.get());
  }
  return result;
}

// --- slots -------------------------------------------------------------------

PyObject* tuplelist_alloc(PyTypeObject* type) {
  PyObject* op = type->tp_alloc(type, 0);  // zero-filled: an empty list
  if (!op) return nullptr;
  auto* self = as_tuplelist(op);
  self->tuple_index_ = Py_NewRef(Py_None);
  self->compact_ = nullptr;
  self->wildcard_ = Py_NewRef(Py_None);
  self->changes_ = 0;
  return op;
}

PyObject* tuplelist_new(PyTypeObject* type, PyObject*, PyObject*) noexcept { return tuplelist_alloc(type); }

int tuplelist_init(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
  return guarded_int([&] {
    Args a;
    if (unpack_init(&TupleListType, args, kwargs, a) < 0) throw_error_set();
    tuplelist_constructor(as_tuplelist(self), a[0], a[1]);
    return 0;
  });
}

int tuplelist_traverse(PyObject* op, visitproc visit, void* arg) noexcept {
  Py_VISIT(as_tuplelist(op)->tuple_index_);
  if (const CompactIndex* compact = as_tuplelist(op)->compact_)
    for (const CompactIndex::Field& f : compact->fields) Py_VISIT(f.values);
  Py_VISIT(as_tuplelist(op)->wildcard_);
  return PyList_Type.tp_traverse(op, visit, arg);
}

// Leaves wildcard_: a str cannot take part in a cycle.
int tuplelist_clear(PyObject* op) noexcept {
  drop_index(as_tuplelist(op));
  return PyList_Type.tp_clear(op);
}

void tuplelist_dealloc(PyObject* op) noexcept {
  PyObject_GC_UnTrack(op);
  Py_TRASHCAN_BEGIN(op, tuplelist_dealloc)
  Py_CLEAR(as_tuplelist(op)->tuple_index_);
  release_index(std::exchange(as_tuplelist(op)->compact_, nullptr));
  Py_CLEAR(as_tuplelist(op)->wildcard_);
  PyList_Type.tp_dealloc(op);  // frees the items, then the object through tp_free
  Py_TRASHCAN_END
}

// self[key] = value and del self[key]. An assigned item is checked first; the
// index survives only an assignment of an equal value, or a failed deletion.
int tuplelist_ass_subscript(PyObject* op, PyObject* key, PyObject* value) noexcept {
  return guarded_int([&] {
    auto* self = as_tuplelist(op);
    objobjargproc base = PyList_Type.tp_as_mapping->mp_ass_subscript;
    if (!value) {
      check(base(op, key, nullptr));
      drop_index(self);
      return 0;
    }
    Ref assigned = Ref::borrow(value);
    if (PySlice_Check(key)) {
      // Each element of the assigned sequence becomes an item: check each one.
      // A one-shot iterable is read here once and the same items are assigned.
      if (!PyList_CheckExact(value) && !PyTuple_CheckExact(value)) {
        PyObject* it = PyObject_GetIter(value);
        if (!it) {
          if (PyErr_ExceptionMatches(PyExc_TypeError)) PyErr_SetString(PyExc_TypeError, "can only assign an iterable");
          throw_error_set();
        }
        Ref iterator = Ref::steal(it);
        assigned = take(PySequence_List(iterator.get()));
      }
      check_items(self, assigned.get());
    } else {
      tuplelist_check(self, value, value);
    }
    Ref current = take(PyObject_GetItem(op, key));
    const bool changed = check(PyObject_RichCompareBool(assigned.get(), current.get(), Py_NE)) != 0;
    if (changed) drop_index(self);
    check(base(op, key, assigned.get()));
    if (changed) drop_index(self);
    return 0;
  });
}

int tuplelist_ass_item(PyObject* op, Py_ssize_t i, PyObject* value) noexcept {
  PyObject* key = PyLong_FromSsize_t(i);
  if (!key) return -1;
  const int rc = tuplelist_ass_subscript(op, key, value);
  Py_DECREF(key);
  return rc;
}

int tuplelist_contains(PyObject* op, PyObject* e) noexcept {
  return guarded_int([&] {
    if (e != Py_None && !PyTuple_Check(e)) raise_expected("tuple", e);
    Ref found = tuplelist_select(as_tuplelist(op), e);
    return PyList_GET_SIZE(found.get()) > 0 ? 1 : 0;
  });
}

// The unchecked in-place changes drop the index before and after the list's
// own operation: iterating `other` may run code that queries this list.
PyObject* tuplelist_inplace_concat(PyObject* op, PyObject* other) noexcept {
  return guarded([&] {
    drop_index(as_tuplelist(op));
    Ref r = take(PyList_Type.tp_as_sequence->sq_inplace_concat(op, other));
    drop_index(as_tuplelist(op));
    return r.release();
  });
}

PyObject* tuplelist_inplace_repeat(PyObject* op, Py_ssize_t n) noexcept {
  return guarded([&] {
    drop_index(as_tuplelist(op));
    Ref r = take(PyList_Type.tp_as_sequence->sq_inplace_repeat(op, n));
    drop_index(as_tuplelist(op));
    return r.release();
  });
}

// self += other: as list +=, unchecked. Defined as a number slot too, since the
// number slot for + would otherwise be used and give a new object.
PyObject* tuplelist_nb_inplace_add(PyObject* op, PyObject* other) noexcept {
  return tuplelist_inplace_concat(op, other);
}

PyObject* tuplelist_nb_inplace_multiply(PyObject* op, PyObject* count) noexcept {
  if (!PyIndex_Check(count)) Py_RETURN_NOTIMPLEMENTED;  // the sequence slot then reports the type
  const Py_ssize_t n = PyNumber_AsSsize_t(count, PyExc_OverflowError);
  if (n == -1 && PyErr_Occurred()) return nullptr;
  return tuplelist_inplace_repeat(op, n);
}

// self + other and, reflected, other + self: both operands' items in a new
// tuplelist, all checked. Only lists are concatenated; for anything else the
// other operand gets its turn, then the list's own TypeError follows.
PyObject* tuplelist_nb_add(PyObject* a, PyObject* b) noexcept {
  return guarded([&]() -> PyObject* {
    if (!PyList_Check(a) || !PyList_Check(b)) Py_RETURN_NOTIMPLEMENTED;
    if (is_tuplelist(a)) return tuplelist_add(as_tuplelist(a), b).release();
    Ref joined = take(PyList_Type.tp_as_sequence->sq_concat(a, b));
    return make_tuplelist(joined.get()).release();
  });
}

// The sequence protocol's concatenation and repetition (operator.concat,
// operator.mul ...) give what + and * give.
PyObject* tuplelist_concat(PyObject* a, PyObject* b) noexcept {
  return guarded([&]() -> PyObject* {
    if (!PyList_Check(b)) return PyList_Type.tp_as_sequence->sq_concat(a, b);  // the list's own TypeError
    return tuplelist_add(as_tuplelist(a), b).release();
  });
}

PyObject* tuplelist_repeat(PyObject* a, Py_ssize_t n) noexcept {
  return guarded([&] {
    Ref repeated = take(PyList_Type.tp_as_sequence->sq_repeat(a, n));
    return make_tuplelist(repeated.get()).release();
  });
}

// self * n and n * self: the list repeated, as a new checked tuplelist.
PyObject* tuplelist_nb_multiply(PyObject* a, PyObject* b) noexcept {
  return guarded([&]() -> PyObject* {
    PyObject* seq = is_tuplelist(a) ? a : b;
    PyObject* count = seq == a ? b : a;
    if (!PyIndex_Check(count)) Py_RETURN_NOTIMPLEMENTED;
    const Py_ssize_t n = PyNumber_AsSsize_t(count, PyExc_OverflowError);
    if (n == -1 && PyErr_Occurred()) throw_error_set();
    Ref repeated = take(PyList_Type.tp_as_sequence->sq_repeat(seq, n));
    return make_tuplelist(repeated.get()).release();
  });
}

// --- attributes ----------------------------------------------------------------

PyObject* get_tuple_index(PyObject* op, void*) noexcept {
  return guarded([&] {
    materialise_index(as_tuplelist(op));
    return Py_NewRef(none_if_null(as_tuplelist(op)->tuple_index_));
  });
}

// An index written from Python is trusted as it is (select checks what it reads).
int set_tuple_index(PyObject* op, PyObject* value, void*) noexcept {
  if (!value) value = Py_None;
  if (value != Py_None && !PyList_CheckExact(value)) {
    PyErr_Format(PyExc_TypeError, "Expected %s, got %.200s", "list", Py_TYPE(value)->tp_name);
    return -1;
  }
  auto* self = as_tuplelist(op);
  CompactIndex* compact = std::exchange(self->compact_, nullptr);
  Py_XSETREF(self->tuple_index_, Py_NewRef(value));
  ++self->changes_;
  release_index(compact);
  return 0;
}

PyObject* get_wildcard(PyObject* op, void*) noexcept { return Py_NewRef(none_if_null(as_tuplelist(op)->wildcard_)); }

int set_wildcard(PyObject* op, PyObject* value, void*) noexcept {
  if (!value) value = Py_None;
  if (value != Py_None && !PyUnicode_CheckExact(value)) {
    PyErr_Format(PyExc_TypeError, "Expected %s, got %.200s", "unicode", Py_TYPE(value)->tp_name);
    return -1;
  }
  Py_XSETREF(as_tuplelist(op)->wildcard_, Py_NewRef(value));
  return 0;
}

// --- methods -------------------------------------------------------------------

PyObject* tuplelist_select_method(PyObject* self, const Args& a) {
  return tuplelist_select(as_tuplelist(self), a[0]).release();
}

PyObject* tuplelist_clean(PyObject* self, const Args&) {
  drop_index(as_tuplelist(self));
  Py_RETURN_NONE;
}

PyObject* tuplelist_append_method(PyObject* self, const Args& a) {
  tuplelist_append(as_tuplelist(self), a[0]);
  Py_RETURN_NONE;
}

// clear and reverse are the list's own storage operations (PyList_SetSlice,
// PyList_Reverse), as the base methods are.
PyObject* tuplelist_clear_method(PyObject* self, const Args&) {
  drop_index(as_tuplelist(self));
  check(PyList_SetSlice(self, 0, PY_SSIZE_T_MAX, nullptr));
  drop_index(as_tuplelist(self));  // freeing the items may have run code that queried the list
  Py_RETURN_NONE;
}

PyObject* tuplelist_copy(PyObject* self, const Args&) { return make_tuplelist(self).release(); }

PyObject* tuplelist_insert_method(PyObject* self, const Args& a) {
  tuplelist_insert(as_tuplelist(self), truncating_int(a[0]), a[1]);
  Py_RETURN_NONE;
}

// pop and remove: the list's own methods, the index dropped before (also when
// they fail) and after (comparing and freeing items runs user code).
PyObject* tuplelist_pop(PyObject* self, const Args& a) {
  drop_index(as_tuplelist(self));
  PyObject* args[] = {self, a[0]};
  Ref r = call_base_method(&PyList_Type, VLM_STR("pop"), args, 2);
  drop_index(as_tuplelist(self));
  return r.release();
}

PyObject* tuplelist_remove(PyObject* self, const Args& a) {
  drop_index(as_tuplelist(self));
  PyObject* args[] = {self, a[0]};
  Ref r = call_base_method(&PyList_Type, VLM_STR("remove"), args, 2);
  drop_index(as_tuplelist(self));
  return r.release();
}

PyObject* tuplelist_reverse(PyObject* self, const Args&) {
  drop_index(as_tuplelist(self));
  check(PyList_Reverse(self));
  Py_RETURN_NONE;
}

// extend and sort are the list's own, unchecked, taking the list's arguments;
// they only drop the index around the call.
PyObject* tuplelist_extend_method(PyObject* self, PyObject* iterable) noexcept {
  return guarded([&] {
    drop_index(as_tuplelist(self));
    PyObject* args[] = {self, iterable};
    Ref r = call_base_method(&PyList_Type, VLM_STR("extend"), args, 2);
    drop_index(as_tuplelist(self));
    return r.release();
  });
}

PyObject* tuplelist_sort(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  return guarded([&] {
    const Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    std::vector<PyObject*> stack(static_cast<size_t>(1 + nargs + nkw));
    stack[0] = self;
    std::copy(args, args + nargs + nkw, stack.begin() + 1);
    drop_index(as_tuplelist(self));
    Ref r = call_base_method(&PyList_Type, VLM_STR("sort"), stack.data(), static_cast<size_t>(1 + nargs), kwnames);
    drop_index(as_tuplelist(self));
    return r.release();
  });
}

// --- tables ----------------------------------------------------------------------

const char tuplelist_select_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            select(*query=[])\n"
    "\n"
    "        PURPOSE:\n"
    "            Return a new tuplelist of the items that match the query, in the\n"
    "            order of the list.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            query: one value per field, from the first field on. A value\n"
    "                   matches the fields equal to it, the wildcard ('*' unless\n"
    "                   the tuplelist was made with another) matches anything, and\n"
    "                   a list or tuple matches any of its values. Fields beyond\n"
    "                   the end of the query are free; no query selects every item.\n"
    "\n"
    "        EXAMPLE:\n"
    "            tl = tuplelist([(1, 2, 'a'), (2, 2, 'b')])\n"
    "            tl.select(1, '*', 'a')\n"
    "            tl.select([1, 2], 2)\n"
    "\n"
    "        NOTE:\n"
    "            The first query after a change of the items builds an index of\n"
    "            their fields; later queries cost about the size of their answer.\n"
    "        ";

const char tuplelist_clean_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            clean()\n"
    "\n"
    "        PURPOSE:\n"
    "            Drop the index of the tuplelist to free its memory. The next\n"
    "            query builds it again.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            None\n"
    "\n"
    "        EXAMPLE:\n"
    "            tl.clean()\n"
    "        ";

const FunctionDef tuplelist_members[] = {
    {"select", "self, *query", tuplelist_select_method, Kind::Method, tuplelist_select_doc, __LINE__},
    {"clean", "self", tuplelist_clean, Kind::Method, tuplelist_clean_doc, __LINE__},
    {"append", "self, e", tuplelist_append_method, Kind::Method, nullptr, __LINE__},
    {"clear", "self", tuplelist_clear_method, Kind::Method, nullptr, __LINE__},
    {"copy", "self", tuplelist_copy, Kind::Method, nullptr, __LINE__},
    {"insert", "self, index, obj", tuplelist_insert_method, Kind::Method, nullptr, __LINE__},
    {"pop", "self, index=-1", tuplelist_pop, Kind::Method, nullptr, __LINE__},
    {"remove", "self, value", tuplelist_remove, Kind::Method, nullptr, __LINE__},
    {"reverse", "self", tuplelist_reverse, Kind::Method, nullptr, __LINE__},
    {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
};

// The list's own extend and sort behind the index drop; no docstrings, so the
// class's documented listing shows only what tuplelist adds.
PyMethodDef tuplelist_methods[] = {
    {"extend", slot(tuplelist_extend_method), METH_O, nullptr},
    {"sort", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(slot(tuplelist_sort))),
     METH_FASTCALL | METH_KEYWORDS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef tuplelist_getset[] = {
    {"tuple_index_", slot(get_tuple_index), slot(set_tuple_index), nullptr, nullptr},
    {"wildcard_", slot(get_wildcard), slot(set_wildcard), nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyNumberMethods tuplelist_as_number = {};
PySequenceMethods tuplelist_as_sequence = {};
PyMappingMethods tuplelist_as_mapping = {};

}  // namespace

// The `li` default is the one empty list made when the module is imported,
// shared by every call.
const char tuplelist_init_params[] = "li=[], wildcard='*'";

const char tuplelist_init_doc[] =
    "\n"
    "    SIGNATURE:\n"
    "        __init__(li, wildcard)\n"
    "\n"
    "    PURPOSE:\n"
    "        Create a tuplelist: a list whose items are all scalars, or all tuples\n"
    "        (or lists) of one length, which answers wildcard queries through\n"
    "        select() and 'in'.\n"
    "\n"
    "    ARGUMENTS:\n"
    "        li: the items, a collection with a length (default: no items)\n"
    "        wildcard: the query value that matches anything (default: '*')\n"
    "\n"
    "    EXAMPLE:\n"
    "        tl = tuplelist([(1, 2), (1, 3), (2, 3)])\n"
    "        print(tl.select(1, '*'))\n"
    "        print((2, 3) in tl)\n"
    "    ";

// --- internal operations -----------------------------------------------------------

void tuplelist_drop_index(TupleListObject* self) noexcept { drop_index(self); }

Ref make_tuplelist(PyObject* li) {
  Ref res = take(tuplelist_alloc(&TupleListType));
  tuplelist_constructor(as_tuplelist(res.get()), li, VLM_STR("*"));
  return res;
}

void tuplelist_check(TupleListObject* self, PyObject* e, PyObject* first) {
  Ref reference = Ref::borrow(PyList_GET_SIZE(obj(self)) > 0 ? PyList_GET_ITEM(obj(self), 0) : first);
  Ref item = Ref::borrow(e);
  const Py_ssize_t le = item_width(item.get());
  const Py_ssize_t lr = item_width(reference.get());
  if ((le < 0) != (lr < 0)) raise_item_error(kMixText);
  if (le != lr) raise_item_error(kLengthText);
}

void tuplelist_constructor(TupleListObject* self, PyObject* li, PyObject* wildcard) {
  if (wildcard != Py_None && !PyUnicode_CheckExact(wildcard)) raise_expected("unicode", wildcard);
  Py_XSETREF(self->wildcard_, Py_NewRef(wildcard));
  if (!li || li == Py_None) return;
  const Py_ssize_t n = PyObject_Length(li);  // an iterator without a length is refused here
  if (n < 0) throw_error_set();
  if (n == 0) return;
  Ref items = items_of(li);
  check_items(self, items.get());
  // What the list's initialiser does: the items replace the whole content.
  check(PyList_SetSlice(obj(self), 0, PY_SSIZE_T_MAX, items.get()));
  drop_index(self);
}

// The C-level PyList_Append/PyList_Insert are the base list's own operations,
// wanted here: these are the checked versions that a subclass's append or
// insert reaches through super().
void tuplelist_append(TupleListObject* self, PyObject* e) {
  tuplelist_check(self, e, e);
  check(PyList_Append(obj(self), e));
  drop_index(self);
}

void tuplelist_insert(TupleListObject* self, int32_t index, PyObject* e) {
  tuplelist_check(self, e, e);
  check(PyList_Insert(obj(self), index, e));
  drop_index(self);
}

void tuplelist_extend(TupleListObject* self, PyObject* li) {
  Ref items = items_of(li);
  check_items(self, items.get());
  // The list's own extension at C level: a subclass's extend is not involved.
  const Py_ssize_t end = PyList_GET_SIZE(obj(self));
  check(PyList_SetSlice(obj(self), end, end, items.get()));
  drop_index(self);
}

// The items of `other` are measured against self[0] (against the first of
// them when self is empty), as they are in the new list.
Ref tuplelist_add(TupleListObject* self, PyObject* other) {
  Ref res = make_tuplelist(obj(self));
  tuplelist_extend(as_tuplelist(res.get()), other);
  return res;
}

void tuplelist_build(TupleListObject* self, PyObject* index, Py_ssize_t i) {
  Ref item = item_at(self, i);
  Ref pos = take(PyLong_FromSsize_t(i));
  for (Py_ssize_t j = 0; j < PyList_GET_SIZE(index); ++j) {
    Ref value = field_at(item.get(), j);
    enter(PyList_GET_ITEM(index, j), value.get(), pos.get());
  }
}

// A list or tuple in the query stands for its alternatives here as in the
// index look-up, so a candidate left over by the merges is judged the same way.
bool tuplelist_match(TupleListObject* self, Py_ssize_t i, PyObject* query) {
  Ref item = item_at(self, i);
  Ref wildcard = Ref::borrow(none_if_null(self->wildcard_));
  const Py_ssize_t nq = PyTuple_GET_SIZE(query);
  if (is_sequence_item(item.get())) {
    if (nq > item_width(item.get())) return false;
    for (Py_ssize_t k = 0; k < nq; ++k) {
      PyObject* q = PyTuple_GET_ITEM(query, k);
      if (!check(PyObject_RichCompareBool(q, wildcard.get(), Py_NE))) continue;
      Ref field = field_at(item.get(), k);
      if (is_sequence_item(q)) {
        if (!any_alternative(q, field.get())) return false;
      } else if (check(PyObject_RichCompareBool(q, field.get(), Py_NE))) {
        return false;
      }
    }
    return true;
  }
  if (nq == 0) return true;
  PyObject* q = PyTuple_GET_ITEM(query, 0);
  if (check(PyObject_RichCompareBool(q, wildcard.get(), Py_EQ))) return true;
  if (is_sequence_item(q)) return any_alternative(q, item.get());
  return check(PyObject_RichCompareBool(item.get(), q, Py_EQ)) != 0;
}

// Positions are compared directly: no sentinel value stands for an exhausted list.
Ref tuplelist_disjoint(PyObject* a, PyObject* b) {
  expect_list(a);
  expect_list(b);
  Ref res = take(PyList_New(0));
  Py_ssize_t i = 0, j = 0;
  while (i < PyList_GET_SIZE(a) && j < PyList_GET_SIZE(b)) {
    const Py_ssize_t x = position_at(a, i), y = position_at(b, j);
    if (x == y) {
      check(PyList_Append(res.get(), PyList_GET_ITEM(a, i)));
      ++i;
      ++j;
    } else if (x < y) {
      ++i;
    } else {
      ++j;
    }
  }
  return res;
}

Ref tuplelist_union(PyObject* a, PyObject* b) {
  expect_list(a);
  expect_list(b);
  Ref res = take(PyList_New(0));
  Py_ssize_t i = 0, j = 0;
  for (;;) {
    const bool more_a = i < PyList_GET_SIZE(a), more_b = j < PyList_GET_SIZE(b);
    if (!more_a && !more_b) break;
    const Py_ssize_t x = more_a ? position_at(a, i) : 0, y = more_b ? position_at(b, j) : 0;
    if (more_a && (!more_b || x <= y)) {
      check(PyList_Append(res.get(), PyList_GET_ITEM(a, i)));
      ++i;
      if (more_b && x == y) ++j;
    } else {
      check(PyList_Append(res.get(), PyList_GET_ITEM(b, j)));
      ++j;
    }
  }
  return res;
}

Ref tuplelist_inv_lists(TupleListObject* self, PyObject* query) {
  if (PyList_GET_SIZE(obj(self)) == 0) return take(PyList_New(0));
  if (query == Py_None) return Ref::borrow(Py_None);
  if (!PyTuple_Check(query)) raise_expected("tuple", query);
  if (PyTuple_GET_SIZE(query) == 0) return Ref::borrow(Py_None);
  return inv_lists(self, query, items_width(self));
}

Ref tuplelist_select(TupleListObject* self, PyObject* query) {
  Ref result = make_tuplelist(nullptr);
  if (PyList_GET_SIZE(obj(self)) == 0) return result;
  if (query == Py_None) raise(PyExc_TypeError, "object of type 'NoneType' has no len()");
  if (!PyTuple_Check(query)) raise_expected("tuple", query);
  if (PyTuple_GET_SIZE(query) == 0) return make_tuplelist(obj(self));
  // Query items (and their alternatives) are compared with ==: by NumPy, cell
  // by cell, for an array.
  for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(query); ++i) {
    PyObject* q = PyTuple_GET_ITEM(query, i);
    check_object_nesting(q);
    if (PyList_Check(q) || PyTuple_Check(q))
      for (Py_ssize_t k = 0; k < PySequence_Fast_GET_SIZE(q); ++k) check_object_nesting(PySequence_Fast_GET_ITEM(q, k));
  }
  const Py_ssize_t n = items_width(self);
  if (PyTuple_GET_SIZE(query) > n) return result;
  if (!has_index(self)) {
    if (IndexPin compact = compact_index(self, n)) return select_compact(self, *compact.get(), query, n, std::move(result));
  }
  Ref inv = inv_lists(self, query, n);
  if (inv.get() == Py_None) return make_tuplelist(obj(self));
  const Py_ssize_t m = PyList_GET_SIZE(inv.get());
  if (m == 0) return result;

  // Shortest list first; lists of equal length keep their query order. `inv`
  // holds every list and nothing else can reach it.
  std::vector<PyObject*> lists(static_cast<size_t>(m));
  for (Py_ssize_t k = 0; k < m; ++k) lists[k] = PyList_GET_ITEM(inv.get(), k);
  std::stable_sort(lists.begin(), lists.end(),
                   [](PyObject* x, PyObject* y) { return PyList_GET_SIZE(x) < PyList_GET_SIZE(y); });

  // Merge while the candidates are many compared with the next list; est is
  // the expected size of the intersection. Exact in 128 bits: a and b are
  // bounded by the list's length.
  const __int128 total = PyList_GET_SIZE(obj(self));
  if (total == 0) return result;  // emptied by user code run while looking values up
  Ref res = Ref::borrow(lists[0]);
  bool exact = m == 1;
  for (Py_ssize_t i = 1; i < m; ++i) {
    const __int128 a = PyList_GET_SIZE(res.get()), b = PyList_GET_SIZE(lists[i]);
    const __int128 est = a * b / total;
    if (a * n < a + b + est * n) break;
    if (i == m - 1) exact = true;
    res = tuplelist_disjoint(res.get(), lists[i]);
  }

  // The result is a new exact tuplelist: its checked append is its own.
  auto* out = as_tuplelist(result.get());
  for (Py_ssize_t k = 0; k < PyList_GET_SIZE(res.get()); ++k) {
    const Py_ssize_t pos = position_at(res.get(), k);
    if (!exact && !tuplelist_match(self, pos, query)) continue;
    Ref item = item_at(self, pos);
    tuplelist_append(out, item.get());
  }
  return result;
}

// --- type ------------------------------------------------------------------------------

PyTypeObject TupleListType = {PyVarObject_HEAD_INIT(nullptr, 0)};

void prepare_tuplelist() {
  tuplelist_as_number.nb_add = slot(tuplelist_nb_add);
  tuplelist_as_number.nb_multiply = slot(tuplelist_nb_multiply);
  tuplelist_as_number.nb_inplace_add = slot(tuplelist_nb_inplace_add);
  tuplelist_as_number.nb_inplace_multiply = slot(tuplelist_nb_inplace_multiply);
  tuplelist_as_sequence.sq_concat = slot(tuplelist_concat);
  tuplelist_as_sequence.sq_repeat = slot(tuplelist_repeat);
  tuplelist_as_sequence.sq_ass_item = slot(tuplelist_ass_item);
  tuplelist_as_sequence.sq_contains = slot(tuplelist_contains);
  tuplelist_as_sequence.sq_inplace_concat = slot(tuplelist_inplace_concat);
  tuplelist_as_sequence.sq_inplace_repeat = slot(tuplelist_inplace_repeat);
  tuplelist_as_mapping.mp_ass_subscript = slot(tuplelist_ass_subscript);

  TupleListType.tp_name = "velmorpy.tuplelist";
  TupleListType.tp_basicsize = sizeof(TupleListObject);
  TupleListType.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC;
  TupleListType.tp_doc = tuplelist_init_doc;
  TupleListType.tp_base = &PyList_Type;
  TupleListType.tp_new = slot(tuplelist_new);
  TupleListType.tp_init = slot(tuplelist_init);
  TupleListType.tp_dealloc = slot(tuplelist_dealloc);
  TupleListType.tp_traverse = slot(tuplelist_traverse);
  TupleListType.tp_clear = slot(tuplelist_clear);
  TupleListType.tp_as_number = &tuplelist_as_number;
  TupleListType.tp_as_sequence = &tuplelist_as_sequence;
  TupleListType.tp_as_mapping = &tuplelist_as_mapping;
  TupleListType.tp_methods = tuplelist_methods;
  TupleListType.tp_getset = tuplelist_getset;
}

void bind_tuplelist_namespace() {
  bind_getmetaclass(&TupleListType, __FILE__);
  bind_members(&TupleListType, tuplelist_members, __FILE__);
}

}  // namespace velmorpy
