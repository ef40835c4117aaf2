// What the term-keeping classes (LinExpr, QuadExpr, PsdExpr, Column) share:
// the list-like argument test, parallel appends that never leave term lists
// of different lengths, positions of a handle's terms, and the attribute
// reads of the handles of many terms (names for the text forms, values for
// getValue) through the attribute layer.
#pragma once
#include <Python.h>

#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

#include "attributes/attr_access.hpp"
#include "expressions/list.hpp"
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
