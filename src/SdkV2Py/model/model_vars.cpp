// Model.addVars and _addVars: batches of variables in one library call.
#include "model/model_vars.hpp"

#include "algebra/object_arrays.hpp"
#include "runtime/numpy.hpp"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <velmor.h>

#include "attributes/handle.hpp"
#include "attributes/var.hpp"
#include "containers/tupledict.hpp"
#include "model/indexed_names.hpp"
#include "model/model.hpp"
#include "runtime/args.hpp"
#include "runtime/errors.hpp"
#include "runtime/holder.hpp"
#include "runtime/members.hpp"
#include "runtime/state.hpp"
#include "runtime/strings.hpp"

namespace velmorpy {

namespace {

const char kEmptyIndices[] = "empty indices";
const char kEmptyShape[] = "empty shape";
const char kLbSize[] = "lb doesn't have enough elements";
const char kUbSize[] = "ub doesn't have enough elements";
const char kObjSize[] = "obj doesn't have enough elements";
const char kVtypeScalar[] = "vtype should be str or byte";
const char kVtypeSize[] = "vtype doesn't have enough elements";
const char kVtypeItem[] = "vtype contains bad type {} at {}";
const char kNamesSize[] = "names doesn't have enough elements";
const char kTooMany[] = "value too large to convert to int";

bool equals(PyObject* a, PyObject* b) { return check(PyObject_RichCompareBool(a, b, Py_EQ)) == 1; }

// A NumPy array of `obj` (numpy.asarray) and its size.
Ref as_array(PyObject* obj) { return take(PyArray_FROM_O(obj)); }

// A one-dimensional row-major view or copy of an array, so that item i is
// flat item i of the original.
Ref flat_items(PyObject* obj) {
  Ref array = as_array(obj);
  return take(PyArray_Ravel(reinterpret_cast<PyArrayObject*>(array.get()), NPY_CORDER));
}

// Per-variable doubles for the library: none (its default), one value spread
// over all variables, or one per variable from a sequence or array.
class DoubleData {
 public:
  const double* get() const noexcept { return ptr_; }

  void spread(Py_ssize_t n, PyObject* value) {
    Ref f = take(PyNumber_Float(value));
    values_.assign(static_cast<size_t>(n), PyFloat_AS_DOUBLE(f.get()));
    ptr_ = values_.data();
  }

  // numpy.array(seq, dtype=float), row-major; ValueError `size_text` unless it
  // has n items.
  void per_variable(Py_ssize_t n, PyObject* seq, const char* size_text) {
    array_ = take(PyArray_FROM_OTF(seq, NPY_DOUBLE, NPY_ARRAY_IN_ARRAY | NPY_ARRAY_FORCECAST));
    auto* a = reinterpret_cast<PyArrayObject*>(array_.get());
    if (PyArray_SIZE(a) != n) raise(PyExc_ValueError, size_text);
    ptr_ = static_cast<const double*>(PyArray_DATA(a));
  }

 private:
  Ref array_;
  std::vector<double> values_;
  const double* ptr_ = nullptr;
};

// lb and obj: a scalar equal to zero is the default.
DoubleData zero_default_data(PyObject* value, Py_ssize_t n, const char* size_text) {
  DoubleData data;
  if (value == Py_None) return data;
  if (ndim_of(value) == 0) {
    check_object_nesting(value);  // a zero-dimensional array is compared by NumPy
    Ref zero = take(PyFloat_FromDouble(0.0));
    if (!equals(value, zero.get())) data.spread(n, value);
  } else {
    data.per_variable(n, value, size_text);
  }
  return data;
}

// ub: a number at or beyond the library's infinity is the default.
DoubleData upper_bound_data(PyObject* value, Py_ssize_t n) {
  DoubleData data;
  if (value == Py_None) return data;
  if (ndim_of(value) == 0) {
    check_object_nesting(value);
    bool is_number = PyFloat_Check(value) || PyLong_Check(value);
    if (!is_number) {
      Ref number = module_global("numbers");
      Ref number_class = take(PyObject_GetAttrString(number.get(), "Number"));
      is_number = check(PyObject_IsInstance(value, number_class.get())) == 1;
    }
    Ref infinity = take(PyFloat_FromDouble(VLM_INFINITY));
    if (!is_number || check(PyObject_RichCompareBool(value, infinity.get(), Py_GE)) != 1) data.spread(n, value);
  } else {
    data.per_variable(n, value, kUbSize);
  }
  return data;
}

// The first byte of the UTF-8 form of a str or bytes item, or -1 for other
// items; IndexError for an empty one.
int first_byte(PyObject* item) {
  const char* bytes = nullptr;
  Py_ssize_t size = 0;
  if (PyUnicode_Check(item)) {
    bytes = PyUnicode_AsUTF8AndSize(item, &size);
    if (!bytes) throw_error_set();
  } else if (PyBytes_Check(item)) {
    bytes = PyBytes_AS_STRING(item);
    size = PyBytes_GET_SIZE(item);
  } else {
    return -1;
  }
  if (size == 0) raise(PyExc_IndexError, "index out of range");
  return static_cast<unsigned char>(bytes[0]);
}

// Type letters: none (continuous), one for all, or one per variable.
class TypeData {
 public:
  const char* get() const noexcept { return codes_.empty() && !set_ ? nullptr : codes_.data(); }

  TypeData(PyObject* vtype, Py_ssize_t n) {
    if (vtype == Py_None) return;
    if (ndim_of(vtype) == 0) {
      if (is_continuous(vtype)) return;
      const int code = first_byte(vtype);
      if (code < 0) raise(PyExc_TypeError, kVtypeScalar);
      assign(n, static_cast<char>(code));
      return;
    }
    if ((PyList_CheckExact(vtype) || PyTuple_CheckExact(vtype)) && all_exact_str(vtype)) {
      // What numpy.asarray would make of it, without the array.
      if (PySequence_Fast_GET_SIZE(vtype) != n) raise(PyExc_ValueError, kVtypeSize);
      assign(n, 'C');
      for (Py_ssize_t i = 0; i < n; ++i) codes_[i] = static_cast<char>(first_byte(PySequence_Fast_GET_ITEM(vtype, i)));
      return;
    }
    Ref array = as_array(vtype);
    if (PyArray_SIZE(reinterpret_cast<PyArrayObject*>(array.get())) != n) raise(PyExc_ValueError, kVtypeSize);
    Ref flat = take(PyArray_Ravel(reinterpret_cast<PyArrayObject*>(array.get()), NPY_CORDER));
    assign(n, 'C');
    for (Py_ssize_t i = 0; i < n; ++i) {
      Ref item = take(PySequence_GetItem(flat.get(), i));
      const int code = first_byte(item.get());
      if (code < 0) {
        Ref text = take(PyUnicode_FromString(kVtypeItem));
        Ref type_name = take(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(item.get())), "__name__"));
        Ref message = take(PyObject_CallMethod(text.get(), "format", "On", type_name.get(), i));
        PyErr_SetObject(PyExc_TypeError, message.get());
        throw_error_set();
      }
      codes_[i] = static_cast<char>(code);
    }
  }

 private:
  static bool is_continuous(PyObject* vtype) {
    for (const char* letter : {"c", "C"}) {
      Ref text = take(PyUnicode_FromString(letter));
      Ref bytes = take(PyBytes_FromString(letter));
      if (equals(vtype, text.get()) || equals(vtype, bytes.get())) return true;
    }
    return false;
  }

  static bool all_exact_str(PyObject* seq) {
    const Py_ssize_t n = PySequence_Fast_GET_SIZE(seq);
    for (Py_ssize_t i = 0; i < n; ++i)
      if (!PyUnicode_CheckExact(PySequence_Fast_GET_ITEM(seq, i))) return false;
    return true;
  }

  void assign(Py_ssize_t n, char code) {
    codes_.assign(static_cast<size_t>(n), code);
    set_ = true;
  }

  std::vector<char> codes_;
  bool set_ = false;
};

// Names for the library: none, or one NUL-terminated text per variable kept
// in one buffer.
class NameData {
 public:
  const char* const* get() const noexcept { return pointers_.empty() && !set_ ? nullptr : pointers_.data(); }

  NameData(PyObject* name, PyObject* keys, Py_ssize_t n) {
    if (name == Py_None) return;
    if (ndim_of(name) == 0) {
      Ref empty = take(PyUnicode_FromString(""));
      if (equals(name, empty.get())) return;
      keyed(name, keys, n);
    } else {
      listed(name, n);
    }
    // Each entry holds its name's offset until the buffer stops moving.
    for (const char*& p : pointers_) p = buffer_.data() + reinterpret_cast<uintptr_t>(p);
    set_ = true;
  }

 private:
  void end_name() { buffer_.push_back('\0'); }
  void start_name() { pointers_.push_back(reinterpret_cast<const char*>(static_cast<uintptr_t>(buffer_.size()))); }

  // The name followed by each variable's key.
  void keyed(PyObject* name, PyObject* keys, Py_ssize_t n) {
    Ref base = take(PyObject_Str(name));
    std::string prefix;
    append_text(prefix, base.get(), /*drop_blanks=*/false);
    const bool is_list = PyList_CheckExact(keys);
    Ref iter = is_list ? Ref() : take(PyObject_GetIter(keys));
    pointers_.reserve(static_cast<size_t>(n));
    buffer_.reserve(static_cast<size_t>(n) * (prefix.size() + 12));  // room for short keys
    for (Py_ssize_t i = 0; i < n; ++i) {
      Ref key;
      if (is_list) {
        if (i >= PyList_GET_SIZE(keys)) {
          PyErr_SetNone(PyExc_StopIteration);
          throw_error_set();
        }
        key = Ref::borrow(PyList_GET_ITEM(keys, i));
      } else {
        key = Ref::steal(PyIter_Next(iter.get()));
        if (!key) {
          if (!PyErr_Occurred()) PyErr_SetNone(PyExc_StopIteration);
          throw_error_set();
        }
      }
      start_name();
      buffer_ += prefix;
      append_key_text(buffer_, key.get());
      end_name();
    }
  }

  // One name per variable: str() of each item, in row-major order.
  void listed(PyObject* names, Py_ssize_t n) {
    Ref items;
    if (PyList_CheckExact(names) || PyTuple_CheckExact(names)) {
      const Py_ssize_t size = PySequence_Fast_GET_SIZE(names);
      bool all_str = true;
      for (Py_ssize_t i = 0; i < size && all_str; ++i) all_str = PyUnicode_CheckExact(PySequence_Fast_GET_ITEM(names, i));
      if (all_str) items = Ref::borrow(names);
    }
    if (!items) items = flat_items(names);
    if (PySequence_Size(items.get()) != n) raise(PyExc_ValueError, kNamesSize);
    pointers_.reserve(static_cast<size_t>(n));
    for (Py_ssize_t i = 0; i < n; ++i) {
      Ref item = take(PySequence_GetItem(items.get(), i));
      Ref text = take(PyObject_Str(item.get()));
      start_name();
      append_text(buffer_, text.get(), /*drop_blanks=*/false);
      end_name();
    }
  }

  std::string buffer_;
  std::vector<const char*> pointers_;
  bool set_ = false;
};

// Adds n variables with one library call; returns the list of their new
// handles, which are appended to the model's list in the same order.
Ref add_var_batch(PyObject* model, Py_ssize_t n, PyObject* keys, const VarBatch& d) {
  ModelObject* m = as_model(model);
  const Ref holder = holder_of(model);
  live_model(holder);
  if (n > INT32_MAX) raise(PyExc_OverflowError, kTooMany);
  DoubleData lb = zero_default_data(d.lb, n, kLbSize);
  DoubleData ub = upper_bound_data(d.ub, n);
  DoubleData obj = zero_default_data(d.obj, n, kObjSize);
  TypeData vtype(d.vtype, n);
  NameData names(d.name, keys, n);

  // From the list of handles on, no Python code runs until they are in the
  // model's list: the index they carry is the list's length. They join the
  // list before the library call, so that nothing can fail after it, and
  // leave it again without any allocation when the library refuses.
  Ref handles = take(PyList_New(n));
  Ref vars = Ref::borrow(m->vars_);
  if (!PyList_Check(vars.get())) throw VlmCodeError{VLM_ERROR_INVALID_ARGUMENT};
  const int64_t first = PyList_GET_SIZE(vars.get());
  if (first + n > INT32_MAX) raise(PyExc_OverflowError, kTooMany);
  for (Py_ssize_t i = 0; i < n; ++i)
    PyList_SET_ITEM(handles.get(), i, handle_new(&VarType, holder, static_cast<int32_t>(first + i)).release());
  VLMmodel* mdl = live_model(holder);
  check(PyList_SetSlice(vars.get(), first, first, handles.get()));
  const int rc = VLMaddvars(mdl, static_cast<int>(n), 0, nullptr, nullptr, nullptr, obj.get(), lb.get(), ub.get(),
                            vtype.get(), names.get());
  if (rc != 0) {
    truncate_list(vars.get(), first);
    throw VlmCodeError{rc};
  }
  return handles;
}

// --- addVars -------------------------------------------------------------------

// What an index item adds to a key: its elements when it is iterable (str and
// bytes stay whole), else itself.
Ref key_parts(PyObject* item) {
  if (PyUnicode_Check(item) || PyBytes_Check(item) || PyLong_CheckExact(item) || PyFloat_CheckExact(item))
    return take(PyTuple_Pack(1, item));
  if (PyTuple_CheckExact(item)) return Ref::borrow(item);
  PyObject* iter_attr = nullptr;
  if (check(_PyObject_LookupAttr(item, VLM_STR("__iter__"), &iter_attr)) == 0) return take(PyTuple_Pack(1, item));
  Py_DECREF(iter_attr);
  return take(PySequence_Tuple(item));
}

bool has_length(PyObject* o) {
  const PyTypeObject* t = Py_TYPE(o);
  return (t->tp_as_sequence && t->tp_as_sequence->sq_length) || (t->tp_as_mapping && t->tp_as_mapping->mp_length);
}

// Refuses, before any index is read, a product of the indices' lengths (an
// int's, or a sized object's) that cannot fit beside the model's `held`
// variables: reading a huge iterable item by item would take the memory and
// the time first.
void check_announced_size(PyObject* indices, int64_t held) {
  int64_t n = 1;
  bool too_many = false, empty = false;
  for (Py_ssize_t j = 0; j < PyTuple_GET_SIZE(indices); ++j) {
    PyObject* index = PyTuple_GET_ITEM(indices, j);
    int64_t size = -1;
    if (PyLong_Check(index)) {
      int overflow = 0;
      size = PyLong_AsLongLongAndOverflow(index, &overflow);
      if (size == -1 && PyErr_Occurred()) throw_error_set();
      if (overflow > 0) size = INT64_MAX;
      if (size < 0) size = 0;  // range() of it is empty
    } else if (has_length(index)) {  // a length, not a hint: a hint may be wrong
      size = PyObject_Size(index);
      if (size == -1) {
        if (!PyErr_ExceptionMatches(PyExc_OverflowError)) throw_error_set();
        PyErr_Clear();
        size = INT64_MAX;
      }
    }
    if (size > INT32_MAX) {
      too_many = true;
    } else if (size == 0) {
      empty = true;
    } else if (size > 0 && !too_many && (n *= size) > INT32_MAX) {
      too_many = true;
    }
  }
  if (too_many || (!empty && held + n > INT32_MAX)) raise(PyExc_OverflowError, kTooMany);
}

// The index arguments as lists of key parts: an int stands for range(int).
std::vector<Ref> index_parts(PyObject* indices) {
  std::vector<Ref> out;
  for (Py_ssize_t j = 0; j < PyTuple_GET_SIZE(indices); ++j) {
    PyObject* index = PyTuple_GET_ITEM(indices, j);
    Ref items = PyLong_Check(index)
                    ? take(PySequence_Tuple(take(PyObject_CallOneArg(reinterpret_cast<PyObject*>(&PyRange_Type), index)).get()))
                    : take(PySequence_Tuple(index));
    const Py_ssize_t size = PyTuple_GET_SIZE(items.get());
    Ref parts = take(PyTuple_New(size));
    for (Py_ssize_t i = 0; i < size; ++i)
      PyTuple_SET_ITEM(parts.get(), i, key_parts(PyTuple_GET_ITEM(items.get(), i)).release());
    out.push_back(std::move(parts));
  }
  return out;
}

// The keys of the Cartesian product of the index arguments (the last varies
// fastest), each the concatenation of its items' parts.
Ref product_keys(const std::vector<Ref>& parts) {
  const size_t k = parts.size();
  int64_t n = 1;
  for (const Ref& p : parts) {
    n *= PyTuple_GET_SIZE(p.get());
    if (n > INT32_MAX) raise(PyExc_OverflowError, kTooMany);  // more variables than a model can hold
  }
  Ref keys = take(PyList_New(static_cast<Py_ssize_t>(n)));
  std::vector<Py_ssize_t> at(k, 0);
  for (int64_t i = 0; i < n; ++i) {
    Py_ssize_t length = 0;
    for (size_t j = 0; j < k; ++j) length += PyTuple_GET_SIZE(PyTuple_GET_ITEM(parts[j].get(), at[j]));
    PyObject* key = check(PyTuple_New(length));
    PyList_SET_ITEM(keys.get(), static_cast<Py_ssize_t>(i), key);
    Py_ssize_t pos = 0;
    for (size_t j = 0; j < k; ++j) {
      PyObject* item = PyTuple_GET_ITEM(parts[j].get(), at[j]);
      for (Py_ssize_t q = 0; q < PyTuple_GET_SIZE(item); ++q)
        PyTuple_SET_ITEM(key, pos++, Py_NewRef(PyTuple_GET_ITEM(item, q)));
    }
    for (size_t j = k; j-- > 0;) {
      if (++at[j] < PyTuple_GET_SIZE(parts[j].get())) break;
      at[j] = 0;
    }
  }
  return keys;
}

// Slots: the keyword-only lb, ub, obj, vtype, name, then the indices' tuple.
PyObject* model_addVars_method(PyObject* self, const Args& a) {
  PyObject* indices = a[5];
  if (PyTuple_GET_SIZE(indices) == 0) raise(PyExc_ValueError, kEmptyIndices);
  live_model(holder_of(self));
  check_announced_size(indices, PyList_Check(as_model(self)->vars_) ? PyList_GET_SIZE(as_model(self)->vars_) : 0);
  Ref keys = product_keys(index_parts(indices));
  const Py_ssize_t n = PyList_GET_SIZE(keys.get());
  Ref handles = add_var_batch(self, n, keys.get(), VarBatch{a[0], a[1], a[2], a[3], a[4]});
  Ref result = make_tupledict(n);
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject* key = PyList_GET_ITEM(keys.get(), i);
    if (PyTuple_GET_SIZE(key) == 1) key = PyTuple_GET_ITEM(key, 0);
    check(PyDict_SetItem(result.get(), key, PyList_GET_ITEM(handles.get(), i)));  // a repeated key keeps the later
  }
  return result.release();
}

const char addVars_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            addVars(*indices, lb=0.0, ub=float('inf'), obj=0.0, vtype='C', name='')\n"
    "\n"
    "        PURPOSE:\n"
    "            Add a group of variables to the model and return them in a tupledict keyed by\n"
    "            their indices.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            indices: one or more index lists; an integer n stands for range(n). The keys\n"
    "                     are the Cartesian product of the lists.\n"
    "            lb: the lower bounds: one value for all variables, or a list or array of one\n"
    "                value per variable\n"
    "            ub: the upper bounds, likewise\n"
    "            obj: the objective coefficients, likewise\n"
    "            vtype: the variable types, likewise: VLM.CONTINUOUS, VLM.BINARY, VLM.INTEGER,\n"
    "                   VLM.SEMICONT or VLM.SEMIINT\n"
    "            name: the base name of the variables, each named with its key appended\n"
    "                  (x[0,1]); or a list of one name per variable; '' or None for no names\n"
    "\n"
    "        EXAMPLE:\n"
    "            x = m.addVars(2, 3, name='x')\n"
    "            y = m.addVars(['a', 'b'], lb=[1, 2], vtype=VLM.INTEGER, name='y')\n"
    "            z = m.addVars(tuplelist([(1, 'a'), (2, 'b')]), ub=10)\n"
    "        ";

const FunctionDef model_vars_members[] = {
    {"addVars", "self, *indices, lb=0.0, ub=VLM.INFINITY, obj=0.0, vtype=VLM.CONTINUOUS, name=''",
     model_addVars_method, Kind::Method, addVars_doc, __LINE__},
    {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
};

}  // namespace

VarBatch VarBatch::defaults() {
  static PyObject* zero = check(PyFloat_FromDouble(0.0));
  static PyObject* infinity = check(PyFloat_FromDouble(VLM_INFINITY));
  return VarBatch{zero, infinity, zero, VLM_STR("C"), VLM_STR("")};
}

Ref model_addVars(PyObject* model, PyObject* shape, PyObject* keys, const VarBatch& data) {
  Ref np = module_global("_np");
  Ref array = take(PyObject_CallMethod(np.get(), "empty", "OO", shape, reinterpret_cast<PyObject*>(&PyBaseObject_Type)));
  auto* a = reinterpret_cast<PyArrayObject*>(array.get());
  if (PyArray_NDIM(a) == 0) raise(PyExc_ValueError, kEmptyShape);
  const Py_ssize_t n = PyArray_SIZE(a);
  Ref handles = add_var_batch(model, n, keys, data);
  // A new object array is C-contiguous and holds None in every cell.
  auto** cells = static_cast<PyObject**>(PyArray_DATA(a));
  for (Py_ssize_t i = 0; i < n; ++i) Py_XSETREF(cells[i], Py_NewRef(PyList_GET_ITEM(handles.get(), i)));
  return array;
}

const MemberTable model_vars_table = {model_vars_members, __FILE__};

}  // namespace velmorpy
