// Model.addConstrs: constraints from a generator, keyed by its loop variables.
#include "model/model_generators.hpp"

#include <string>

#include "algebra/object_arrays.hpp"
#include "containers/tupledict.hpp"
#include "expressions/tempconstr.hpp"
#include "model/indexed_names.hpp"
#include "model/model_constrs.hpp"
#include "runtime/args.hpp"
#include "runtime/errors.hpp"
#include "runtime/members.hpp"
#include "runtime/strings.hpp"

namespace velmorpy {

namespace {

const char kNotTempConstr[] = "only accept generator which generates TempConstr value";

bool hidden_name(PyObject* name) { return PyUnicode_Check(name) && PyUnicode_GET_LENGTH(name) > 0 &&
                                          PyUnicode_READ_CHAR(name, 0) == '.'; }

bool contains(PyObject* tuple, PyObject* name) {
  return PyTuple_Check(tuple) && check(PySequence_Contains(tuple, name)) == 1;
}

// The names whose values make a generator's keys, in the order its code binds
// them: its parameters, then each local it stores into, by first store (the
// for clauses in order, the targets of one clause left to right). The
// interpreter lists a frame's locals with the captured ones last, so their
// own order would put a loop variable that an inner function or generator
// uses after the later ones. Names beginning with "." (the hidden iterator
// of a generator expression) and the enclosing scope's variables are left
// out. Read from the code with `dis` once per code object; None for an
// object that is no code object.
Ref key_names(PyObject* code) {
  if (!PyCode_Check(code)) return Ref::borrow(Py_None);
  static PyObject* cache = nullptr;  // code -> tuple of names, for as long as the code lives
  if (!cache) {
    Ref weakref = take(PyImport_ImportModule("weakref"));
    cache = check(PyObject_CallMethod(weakref.get(), "WeakKeyDictionary", nullptr));
  }
  Ref cached = Ref::steal(PyObject_GetItem(cache, code));
  if (cached) return cached;
  if (!PyErr_ExceptionMatches(PyExc_KeyError)) throw_error_set();
  PyErr_Clear();

  auto* c = reinterpret_cast<PyCodeObject*>(code);
  Ref varnames = take(PyObject_GetAttrString(code, "co_varnames"));
  Ref freevars = take(PyObject_GetAttrString(code, "co_freevars"));
  Ref names = take(PyList_New(0));
  auto add = [&](PyObject* name) {
    if (!PyUnicode_Check(name) || hidden_name(name) || contains(freevars.get(), name)) return;
    if (check(PySequence_Contains(names.get(), name)) == 0) check(PyList_Append(names.get(), name));
  };
  Py_ssize_t params = c->co_argcount + c->co_kwonlyargcount + ((c->co_flags & CO_VARARGS) ? 1 : 0) +
                      ((c->co_flags & CO_VARKEYWORDS) ? 1 : 0);
  for (Py_ssize_t i = 0; i < params && i < PyTuple_GET_SIZE(varnames.get()); ++i) add(PyTuple_GET_ITEM(varnames.get(), i));
  Ref dis = take(PyImport_ImportModule("dis"));
  Ref instructions = take(PyObject_CallMethod(dis.get(), "get_instructions", "O", code));
  Ref iter = take(PyObject_GetIter(instructions.get()));
  while (PyObject* next = PyIter_Next(iter.get())) {
    Ref instruction = Ref::steal(next);
    Ref opname = take(PyObject_GetAttrString(instruction.get(), "opname"));
    if (PyUnicode_CompareWithASCIIString(opname.get(), "STORE_FAST") != 0 &&
        PyUnicode_CompareWithASCIIString(opname.get(), "STORE_DEREF") != 0)
      continue;
    Ref name = take(PyObject_GetAttrString(instruction.get(), "argval"));
    add(name.get());
  }
  if (PyErr_Occurred()) throw_error_set();
  Ref result = take(PyList_AsTuple(names.get()));
  check(PyObject_SetItem(cache, code, result.get()));
  return result;
}

// The values of the generator frame's locals at its current yield, in key
// order: those of `names` that are bound, or, without names, every local
// except hidden ones and the enclosing scope's, in the frame's own order.
Ref key_values(PyObject* generator, PyObject* names, PyObject* freevars) {
  Ref frame = take(PyObject_GetAttrString(generator, "gi_frame"));
  Ref locals = take(PyObject_GetAttrString(frame.get(), "f_locals"));
  Ref values = take(PyList_New(0));
  if (names != Py_None) {
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(names); ++i) {
      Ref value = Ref::steal(PyObject_GetItem(locals.get(), PyTuple_GET_ITEM(names, i)));
      if (!value) {
        if (!PyErr_ExceptionMatches(PyExc_KeyError)) throw_error_set();
        PyErr_Clear();  // not bound yet at this yield
        continue;
      }
      check(PyList_Append(values.get(), value.get()));
    }
    return values;
  }
  Ref items = take(PyMapping_Items(locals.get()));
  for (Py_ssize_t i = 0; i < PyList_GET_SIZE(items.get()); ++i) {
    PyObject* item = PyList_GET_ITEM(items.get(), i);
    PyObject* name = PyTuple_GET_ITEM(item, 0);
    if (hidden_name(name) || contains(freevars, name)) continue;
    check(PyList_Append(values.get(), PyTuple_GET_ITEM(item, 1)));
  }
  return values;
}

// name + str(key_values).replace(' ', '').
Ref indexed_name(PyObject* name, PyObject* key_values) {
  std::string text;
  append_key_text(text, key_values);
  Ref suffix = take(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "strict"));
  return take(PyNumber_Add(name, suffix.get()));
}

bool is_unnamed(PyObject* name) {
  if (name == Py_None) return true;
  if (PyUnicode_CheckExact(name)) return PyUnicode_GET_LENGTH(name) == 0;
  check_object_nesting(name);  // compared (and later added to) by NumPy, cell by cell, if an array
  return check(PyObject_RichCompareBool(name, VLM_STR(""), Py_EQ)) == 1;
}

PyObject* model_addConstrs_method(PyObject* self, const Args& a) {
  PyObject *generator = a[0], *name = a[1];
  if (!PyIter_Check(generator)) raise_format(PyExc_TypeError, "%.200s object is not an iterator", Py_TYPE(generator)->tp_name);
  const bool unnamed = is_unnamed(name);
  Ref result = make_tupledict();
  Ref names, freevars;  // read from the generator's code at the first yield
  long long counter = 0;
  try {
    while (true) {
      Ref constr = Ref::steal(PyIter_Next(generator));
      if (!constr) {
        if (PyErr_Occurred()) throw_error_set();
        break;
      }
      if (!is_tempconstr(constr.get())) raise(PyExc_TypeError, kNotTempConstr);
      if (!names) {
        Ref code = take(PyObject_GetAttrString(generator, "gi_code"));
        freevars = take(PyObject_GetAttrString(code.get(), "co_freevars"));
        names = key_names(code.get());
      }
      Ref values = key_values(generator, names.get(), freevars.get());
      if (PyList_GET_SIZE(values.get()) == 0) {
        Ref count = take(PyLong_FromLongLong(counter++));
        check(PyList_Append(values.get(), count.get()));
      }
      Ref constr_name = unnamed ? Ref::borrow(name) : indexed_name(name, values.get());
      Ref added = model_addTempConstr(self, constr.get(), constr_name.get());
      Ref key = PyList_GET_SIZE(values.get()) == 1 ? Ref::borrow(PyList_GET_ITEM(values.get(), 0))
                                                   : take(PyList_AsTuple(values.get()));
      check(PyDict_SetItem(result.get(), key.get(), added.get()));  // a repeated key keeps the later
    }
  } catch (const PyErrAlreadySet&) {
    // StopIteration raised by the loop's own steps ends it like exhaustion.
    if (!PyErr_ExceptionMatches(PyExc_StopIteration)) throw;
    PyErr_Clear();
  }
  return result.release();
}

const char addConstrs_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            addConstrs(generator, name='')\n"
    "\n"
    "        PURPOSE:\n"
    "            Add a constraint for every constraint a generator yields and return them in a\n"
    "            tupledict keyed by the values of the generator's loop variables\n"
    "\n"
    "        ARGUMENTS:\n"
    "            generator: a generator expression (or generator) of constraints\n"
    "            name: the base name of the constraints, each named with its key appended\n"
    "                  (c[0,1]); '' for no names\n"
    "\n"
    "        EXAMPLE:\n"
    "            supply = m.addConstrs((x.sum(i, '*') <= s[i] for i in sources), name='supply')\n"
    "            cap = m.addConstrs(x[i, j] <= u[i, j] for i in I for j in J)\n"
    "        ";

const FunctionDef model_generators_members[] = {
    {"addConstrs", "self, generator, name=''", model_addConstrs_method, Kind::Method, addConstrs_doc, __LINE__},
    {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
};

}  // namespace

const MemberTable model_generators_table = {model_generators_members, __FILE__};

}  // namespace velmorpy
