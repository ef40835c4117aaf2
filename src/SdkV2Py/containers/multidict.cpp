// multidict: the module function.
#include "containers/multidict.hpp"

#include "containers/builtins.hpp"
#include "containers/tupledict.hpp"
#include "containers/tuplelist.hpp"
#include "runtime/errors.hpp"

namespace velmorpy {

namespace {

bool is_sequence_value(PyObject* v) { return PyTuple_Check(v) || PyList_Check(v); }

}  // namespace

const char multidict_doc[] =
    "\n"
    "    SIGNATURE:\n"
    "        multidict(d)\n"
    "\n"
    "    PURPOSE:\n"
    "        Split a dict of data into a tuplelist of its keys and tupledicts of\n"
    "        its values: one tupledict per value position when every value is a\n"
    "        list or tuple (as many as the shortest value has elements), a single\n"
    "        tupledict of the values as they are otherwise. Returns a list\n"
    "        [keys, tupledict, ...].\n"
    "\n"
    "    ARGUMENTS:\n"
    "        d: a dict\n"
    "\n"
    "    EXAMPLE:\n"
    "        arcs, cost, capacity = multidict({('a', 'b'): [2, 10], ('a', 'c'): [3, 20]})\n"
    "        print(arcs.select('a', '*'), cost['a', 'b'], capacity['a', 'c'])\n"
    "    ";

// `d` is None or an exact dict (the parameter's declared type).
PyObject* multidict(PyObject*, const Args& a) {
  PyObject* d = a[0];
  if (d == Py_None) raise_format(PyExc_AttributeError, "'NoneType' object has no attribute '%.30s'", "items");
  Ref keys = make_tuplelist(nullptr);
  Ref res = take(PyList_New(0));
  check(PyList_Append(res.get(), keys.get()));
  {
    Ref first = make_tupledict();
    check(PyList_Append(res.get(), first.get()));
  }

  // First pass: the keys, each checked as it joins the tuplelist, and the
  // shape of the values.
  bool is_scalar = false;
  bool seen = false;
  Py_ssize_t min_len = PY_SSIZE_T_MAX;
  for_each_dict_item(d, [&](PyObject* key, PyObject* value) {
    seen = true;
    tuplelist_append(as_tuplelist(keys.get()), key);
    if (!is_sequence_value(value)) {
      is_scalar = true;
      return;
    }
    const Py_ssize_t len = PyObject_Length(value);
    if (len < 0) throw_error_set();
    if (len < min_len) min_len = len;
  });
  if (!is_scalar && seen && min_len > 1) {
    for (Py_ssize_t i = 1; i < min_len; ++i) {
      Ref more = make_tupledict();
      check(PyList_Append(res.get(), more.get()));
    }
  }

  // Second pass: the values. The tupledicts are new and have no key list yet,
  // so storing straight into them (PyDict_SetItem) needs no dropping.
  const Py_ssize_t ndicts = PyList_GET_SIZE(res.get()) - 1;
  for_each_dict_item(d, [&](PyObject* key, PyObject* value) {
    if (is_scalar) {
      check(PyDict_SetItem(PyList_GET_ITEM(res.get(), 1), key, value));
      return;
    }
    for (Py_ssize_t i = 1; i <= ndicts; ++i) {
      Ref element = take(PySequence_GetItem(value, i - 1));
      check(PyDict_SetItem(PyList_GET_ITEM(res.get(), i), key, element.get()));
    }
  });
  return res.release();
}

}  // namespace velmorpy
