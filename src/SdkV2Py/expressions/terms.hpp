// What the term-keeping classes (LinExpr, QuadExpr, PsdExpr, Column) share:
// the list-like argument test, parallel appends that never leave term lists
// of different lengths, positions of a handle's terms, and the attribute
// reads of the handles of many terms (names for the text forms, values for
// getValue) through the attribute layer.
#pragma once
#include <Python.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <tuple>
#include <utility>
#include <vector>

#include "attributes/attr_access.hpp"
#include "expressions/list.hpp"
#include "runtime/errors.hpp"
#include "runtime/ref.hpp"

namespace velmorpy {

// A tuple, a list (subclasses of either included) or a NumPy array: the
// sequence form of the addTerms methods.
bool is_listlike(PyObject* o);

// A coefficient as a float object: the shared objects for 1.0 and -1.0 (made
// once; floats are immutable, so terms may share them), else a new float. Throws.
Ref coefficient(double value);

// Appends one item to each of several parallel term lists: room is made in
// all of them first, so a failure changes none. Throws.
void append_parallel(std::initializer_list<std::pair<TermList*, PyObject*>> rows);
// Appends the first n items of each source to its destination, all or none.
// Throws.
void extend_parallel(std::initializer_list<std::pair<TermList*, const TermList*>> rows, Py_ssize_t n);

// --- an expression's parallel term lists, all at once ------------------------------------
//
// Term i of an expression is item i of each of its parallel lists (LinExpr:
// coefficients and variables; QuadExpr: coefficients and two variables;
// PsdExpr: matrices and variables). The operations below take the lists of
// one expression in its own order and act on all of them, so that they keep
// one length.

// Sharing copies of parallel lists taken together, released at the end of
// the scope. A walk reads the copies while Python code runs (the expression
// may change meanwhile); a change is made on the copies and then swapped in,
// so that every list changes or none.
template <class... Lists>
class TermsCopy {
 public:
  explicit TermsCopy(const Lists&... lists) noexcept : lists_(termlist_copy(lists)...) {}
  ~TermsCopy() {
    std::apply([](auto&... l) { (termlist_release(l), ...); }, lists_);
  }
  TermsCopy(const TermsCopy&) = delete;
  TermsCopy& operator=(const TermsCopy&) = delete;

  // The number of whole terms: the length of the shortest list.
  Py_ssize_t size() const noexcept {
    return std::apply([](const auto&... l) { return std::min({termlist_size(l)...}); }, lists_);
  }
  // The copy of list I, in the order the lists were given.
  template <size_t I>
  auto& get() noexcept { return std::get<I>(lists_); }
  template <size_t I>
  const auto& get() const noexcept { return std::get<I>(lists_); }
  // Exchanges the copies with `lists` (the expression's own, in the same
  // order): the expression shows the copies, and what it showed is released
  // with this object.
  void swap_into(Lists&... lists) noexcept {
    std::apply([&](auto&... l) { (std::swap(lists, l), ...); }, lists_);
  }
  // f(list) for the copy of every list, in order.
  template <class F>
  void for_each(F&& f) {
    std::apply([&](auto&... l) { (f(l), ...); }, lists_);
  }
  // Whether `lists` (the expression's own, in the same order) still show what
  // the copies were taken from: the same storage, the same length. Python
  // code that changed the expression since (a clear, a new term, a fresh
  // start) makes it false.
  bool still_shown_by(const Lists&... lists) const noexcept {
    return std::apply([&](const auto&... l) { return (termlist_same(l, lists) && ...); }, lists_);
  }

 private:
  std::tuple<Lists...> lists_;
};
template <class... Lists>
TermsCopy(const Lists&...) -> TermsCopy<Lists...>;

// Drops the terms at the ascending `positions` from every list: all of them
// change, or (on a failure) none. Throws.
template <class... Lists>
void remove_terms(const std::vector<Py_ssize_t>& positions, Lists&... lists) {
  TermsCopy<Lists...> copy(lists...);
  copy.for_each([&](auto& l) { termlist_remove(l, positions); });
  copy.swap_into(lists...);
}
// Empties every list (each as its own kind clears). The items are released
// only once every list reads as empty: a finaliser they run sees the whole
// expression cleared, and a term it adds stays. Throws.
template <class... Lists>
void clear_terms(Lists&... lists) {
  TermsCopy<Lists...> released_last(lists...);
  (termlist_clear(lists), ...);
}
// Releases what every list holds: the constructor's fresh start, tp_clear.
// As clear_terms, every list is empty before the first item is released.
template <class... Lists>
void release_terms(Lists&... lists) noexcept {
  std::tuple<Lists...> old{std::exchange(lists, Lists{})...};
  std::apply([](auto&... l) { (termlist_release(l), ...); }, old);
}
// Visits every list for the collector (tp_traverse).
template <class... Lists>
int traverse_terms(visitproc visit, void* arg, const Lists&... lists) {
  int r = 0;
  ((r = r ? r : termlist_traverse(lists, visit, arg)), ...);
  return r;
}

// The ascending positions of the items of `t` that are handles of the same
// item as `handle` (sameAs). Items that are not handles never match.
std::vector<Py_ssize_t> positions_of(const TermList& t, PyObject* handle);
// The position [index] when `index` (an int, bool included) names an item of
// a list of n items; otherwise none.
std::vector<Py_ssize_t> position_if_valid(PyObject* index, Py_ssize_t n);

// Reads attribute `attr` of the handles items[0, n) as the handles' own
// attribute access would, one value per item: one batched read through the
// attribute layer when every item is a handle of exactly the class of `kind`
// of one model, otherwise one ordinary attribute read per item. The items are
// held while Python code runs. Throw.
std::vector<Ref> handle_attr_objects(const TermList& t, const char* attr, AttrKind kind);
std::vector<double> handle_attr_doubles(const TermList& t, const char* attr, AttrKind kind);

// --- the methods' argument reading and in-place operators -------------------------------

// self.addTerms(coeffs, vars): `add_terms` (the class's own, in C) for the
// class `type` itself, the method looked up by name for a subclass, which may
// override it. Throws.
using AddTerms = void (*)(PyObject* self, PyObject* coeffs, PyObject* vars);
void call_add_terms(PyObject* self, PyTypeObject* type, AddTerms add_terms, PyObject* coeffs, PyObject* vars);
// The constructor's list of (coefficient, variable) pairs: each item of the
// iterable `pairs` that `is_pair` accepts (the class's own test, which may
// raise) gives call_add_terms(item[0], item[1]); any other item raises
// VelmorError "Each element should be a tuple or list with length 2". Throws.
void add_term_pairs(PyObject* self, PyTypeObject* type, AddTerms add_terms, PyObject* pairs,
                    bool (*is_pair)(PyObject* item));

// The body of an in-place operator's slot: `change()` (the class's own rule,
// which changes self or throws) under guarded_holding(self), then self.
template <class F>
PyObject* changed_in_place(PyObject* self, F&& change) noexcept {
  return guarded_holding(self, nullptr, [&] {
    change();
    return Py_NewRef(self);
  });
}
// self -= other as self += -other: the interpreter's negation of other, added
// by the class's own `add` for the class `type` itself, by self.__iadd__
// (looked up) for a subclass.
PyObject* subtract_by_adding_negated(PyObject* self, PyObject* other, PyTypeObject* type,
                                     void (*add)(PyObject* self, PyObject* other)) noexcept;

// x == 0, the interpreter's equality with the integer 0 (floats and ints in C). Throws.
bool equals_zero(PyObject* x);
// The number of terms that getValue and the text form go through: -1 (all of
// them) for `type` itself; for a subclass, what its size() answers (looked up
// on the object), 0 when that is negative. The caller refuses a number beyond
// its terms with IndexError "list index out of range". Throws.
Py_ssize_t terms_to_visit(PyObject* self, PyTypeObject* type);
// Item `index` of `t` (a new reference): the index converted to a 32-bit
// integer, IndexError "list index out of range" outside [0, size). Throws.
PyObject* term_item(const TermList& t, PyObject* index);
// TypeError "unsupport operation {op}: `{}` and `{}`" of the in-place operators. Throws.
[[noreturn]] void raise_inplace_unsupported(const char* op, PyObject* self, PyObject* other);
// repr() of an expression class: its text form for the class itself
// (`str`), what self.__str__() returns for a subclass.
PyObject* repr_through_str(PyObject* self, PyTypeObject* type, reprfunc str) noexcept;

// A name for a text form: a str, or None (absent); TypeError "Expected
// unicode, got {}" for anything else. Throws.
void check_name(PyObject* name);

// TypeError for a field of an expression that its constructor never set
// ("Cannot convert NoneType to {}"). Throws.
[[noreturn]] void raise_unset_field(const char* field_type);

}  // namespace velmorpy
