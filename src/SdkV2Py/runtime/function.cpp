// The module's function type: its calls, attributes, code objects and construction.
#include "runtime/function.hpp"

#include <structmember.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/errors.hpp"
#include "runtime/state.hpp"

namespace velmorpy {

namespace {

// The code object's flags for *args and **kwargs.
constexpr int kCoVarargs = 0x04;
constexpr int kCoVarkeywords = 0x08;

PyObject* function_vectorcall(PyObject* callable, PyObject* const* args, size_t nargsf,
                              PyObject* kwnames) noexcept {
  auto* f = reinterpret_cast<FunctionObject*>(callable);
  Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
  PyObject* bound = f->closure;
  if (f->kind == Kind::Method) {
    if (nargs < 1) {
      PyErr_Format(PyExc_TypeError, "unbound method %.200S() needs an argument", f->qualname);
      return nullptr;
    }
    bound = args[0];
    if (f->owner && !PyObject_TypeCheck(bound, f->owner)) {
      PyErr_Format(PyExc_TypeError, "descriptor '%U' for '%.100s' objects doesn't apply to a '%.100s' object",
                   f->name, f->owner->tp_name, Py_TYPE(bound)->tp_name);
      return nullptr;
    }
    ++args;
    --nargs;
  }
  Args parsed;
  if (unpack(*f->spec, f->name, f->defaults, f->kwdefaults, args, nargs, kwnames, parsed) < 0) return nullptr;
  return guarded([&] { return f->impl(bound, parsed); });
}

// __name__ and __qualname__ take str subclasses too, whose instances can refer
// back to the function: they are visited and cleared like the other fields.
int function_traverse(PyObject* op, visitproc visit, void* arg) noexcept {
  auto* f = reinterpret_cast<FunctionObject*>(op);
  Py_VISIT(f->name);
  Py_VISIT(f->qualname);
  Py_VISIT(f->closure);
  Py_VISIT(f->module);
  Py_VISIT(f->doc);
  Py_VISIT(f->defaults);
  Py_VISIT(f->kwdefaults);
  Py_VISIT(f->annotations);
  Py_VISIT(f->code);
  Py_VISIT(f->globals);
  Py_VISIT(f->dict);
  return 0;
}

// name and qualname become the empty str rather than null, so the object stays
// printable until it is freed.
int function_clear(PyObject* op) noexcept {
  auto* f = reinterpret_cast<FunctionObject*>(op);
  PyObject* empty = PyUnicode_New(0, 0);  // the interpreter's empty-string singleton: cannot fail
  Py_SETREF(f->name, Py_NewRef(empty));
  Py_SETREF(f->qualname, empty);
  Py_CLEAR(f->closure);
  Py_CLEAR(f->module);
  Py_CLEAR(f->doc);
  Py_CLEAR(f->defaults);
  Py_CLEAR(f->kwdefaults);
  Py_CLEAR(f->annotations);
  Py_CLEAR(f->code);
  Py_CLEAR(f->globals);
  Py_CLEAR(f->dict);
  return 0;
}

void function_dealloc(PyObject* op) noexcept {
  auto* f = reinterpret_cast<FunctionObject*>(op);
  PyObject_GC_UnTrack(op);
  if (f->weakreflist) PyObject_ClearWeakRefs(op);
  (void)function_clear(op);
  Py_CLEAR(f->name);
  Py_CLEAR(f->qualname);
  delete f->spec;
  f->spec = nullptr;
  Py_TYPE(op)->tp_free(op);
}

PyObject* function_descr_get(PyObject* self, PyObject* obj, PyObject*) noexcept {
  if (obj == nullptr || obj == Py_None) return Py_NewRef(self);
  return PyMethod_New(self, obj);
}

PyObject* function_repr(PyObject* self) noexcept {
  return PyUnicode_FromFormat("<function %U at %p>", reinterpret_cast<FunctionObject*>(self)->qualname, self);
}

PyObject* function_reduce(PyObject* self, PyObject*) noexcept {
  return Py_NewRef(reinterpret_cast<FunctionObject*>(self)->qualname);
}

// --- attributes ------------------------------------------------------------

template <size_t Offset>
PyObject*& field(PyObject* self) {
  return *reinterpret_cast<PyObject**>(reinterpret_cast<char*>(self) + Offset);
}

#define FIELD(name) field<offsetof(FunctionObject, name)>

PyObject* get_name(PyObject* self, void*) noexcept { return Py_NewRef(FIELD(name)(self)); }
PyObject* get_qualname(PyObject* self, void*) noexcept { return Py_NewRef(FIELD(qualname)(self)); }

int set_str_field(PyObject*& slot, PyObject* value, const char* message) {
  if (value == nullptr || !PyUnicode_Check(value)) {
    PyErr_SetString(PyExc_TypeError, message);
    return -1;
  }
  Py_XSETREF(slot, Py_NewRef(value));
  return 0;
}
int set_name(PyObject* self, PyObject* value, void*) noexcept {
  return set_str_field(FIELD(name)(self), value, "__name__ must be set to a string object");
}
int set_qualname(PyObject* self, PyObject* value, void*) noexcept {
  return set_str_field(FIELD(qualname)(self), value, "__qualname__ must be set to a string object");
}

PyObject* none_if_null(PyObject* p) { return p ? Py_NewRef(p) : Py_NewRef(Py_None); }
PyObject* get_defaults(PyObject* self, void*) noexcept { return none_if_null(FIELD(defaults)(self)); }
PyObject* get_kwdefaults(PyObject* self, void*) noexcept { return none_if_null(FIELD(kwdefaults)(self)); }
PyObject* get_globals(PyObject* self, void*) noexcept { return none_if_null(FIELD(globals)(self)); }
PyObject* get_code(PyObject* self, void*) noexcept { return none_if_null(FIELD(code)(self)); }
PyObject* get_closure(PyObject*, void*) noexcept { Py_RETURN_NONE; }

// None (or deletion) empties the field; otherwise only `type` is accepted.
int set_optional(PyObject*& slot, PyObject* value, PyTypeObject* type, const char* message) {
  if (value == nullptr || value == Py_None) {
    Py_CLEAR(slot);
    return 0;
  }
  if (!PyObject_TypeCheck(value, type)) {
    PyErr_SetString(PyExc_TypeError, message);
    return -1;
  }
  Py_XSETREF(slot, Py_NewRef(value));
  return 0;
}
int set_defaults(PyObject* self, PyObject* value, void*) noexcept {
  return set_optional(FIELD(defaults)(self), value, &PyTuple_Type, "__defaults__ must be set to a tuple object");
}
int set_kwdefaults(PyObject* self, PyObject* value, void*) noexcept {
  return set_optional(FIELD(kwdefaults)(self), value, &PyDict_Type, "__kwdefaults__ must be set to a dict object");
}

PyObject* get_annotations(PyObject* self, void*) noexcept {
  PyObject*& slot = FIELD(annotations)(self);
  if (!slot && !(slot = PyDict_New())) return nullptr;
  return Py_NewRef(slot);
}
int set_annotations(PyObject* self, PyObject* value, void*) noexcept {
  if (value == Py_None) value = nullptr;
  if (value && !PyDict_Check(value)) {
    PyErr_SetString(PyExc_TypeError, "__annotations__ must be set to a dict object");
    return -1;
  }
  Py_XSETREF(FIELD(annotations)(self), Py_XNewRef(value));
  return 0;
}

#undef FIELD

PyGetSetDef function_getset[] = {
    {"__name__", slot(get_name), slot(set_name), nullptr, nullptr},
    {"func_name", slot(get_name), slot(set_name), nullptr, nullptr},
    {"__qualname__", slot(get_qualname), slot(set_qualname), nullptr, nullptr},
    {"__defaults__", slot(get_defaults), slot(set_defaults), nullptr, nullptr},
    {"func_defaults", slot(get_defaults), slot(set_defaults), nullptr, nullptr},
    {"__kwdefaults__", slot(get_kwdefaults), slot(set_kwdefaults), nullptr, nullptr},
    {"__annotations__", slot(get_annotations), slot(set_annotations), nullptr, nullptr},
    {"__globals__", slot(get_globals), nullptr, nullptr, nullptr},
    {"func_globals", slot(get_globals), nullptr, nullptr, nullptr},
    {"__closure__", slot(get_closure), nullptr, nullptr, nullptr},
    {"func_closure", slot(get_closure), nullptr, nullptr, nullptr},
    {"__code__", slot(get_code), nullptr, nullptr, nullptr},
    {"func_code", slot(get_code), nullptr, nullptr, nullptr},
    {"__dict__", PyObject_GenericGetDict, PyObject_GenericSetDict, nullptr, nullptr},
    {"func_dict", PyObject_GenericGetDict, PyObject_GenericSetDict, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMemberDef function_members[] = {
    {"__doc__", T_OBJECT, offsetof(FunctionObject, doc), 0, nullptr},
    {"func_doc", T_OBJECT, offsetof(FunctionObject, doc), 0, nullptr},
    {"__module__", T_OBJECT, offsetof(FunctionObject, module), READONLY, nullptr},
    {nullptr, 0, 0, 0, nullptr},
};

PyMethodDef function_methods[] = {
    {"__reduce__", slot(function_reduce), METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

// --- construction ----------------------------------------------------------

// Compiles "def name(params): pass" in the module's namespace, so the defaults
// are evaluated there once and the code object carries the parameter names.
Ref compile_signature(const FunctionDef& def) {
  std::string src = "def ";
  src += def.name;
  src += "(";
  src += def.params ? def.params : "";
  src += "):\n    pass\n";
  PyObject* globals = state().dict;
  if (!globals) raise(PyExc_RuntimeError, "velmorpy: functions made before the module namespace exists");
  Ref locals = take(PyDict_New());
  take(PyRun_String(src.c_str(), Py_file_input, globals, locals.get()));
  PyObject* fn = PyDict_GetItemString(locals.get(), def.name);
  if (!fn) raise_format(PyExc_SystemError, "velmorpy: cannot compile the parameters of %s", def.name);
  return Ref::borrow(fn);
}

ArgSpec* build_spec(PyObject* code, PyObject* annotations, Kind kind) {
  auto attr_int = [&](const char* name) -> int {
    Ref v = take(PyObject_GetAttrString(code, name));
    return static_cast<int>(PyLong_AsLong(v.get()));
  };
  const int argcount = attr_int("co_argcount");
  const int kwonly = attr_int("co_kwonlyargcount");
  const int flags = attr_int("co_flags");
  Ref varnames = take(PyObject_GetAttrString(code, "co_varnames"));
  const int skip = kind == Kind::Method ? 1 : 0;
  if (argcount < skip) raise(PyExc_SystemError, "velmorpy: a method needs a self parameter");
  auto* spec = new ArgSpec();
  try {
    spec->npos = argcount - skip;
    spec->nkwonly = kwonly;
    spec->varargs = (flags & kCoVarargs) != 0;
    spec->varkw = (flags & kCoVarkeywords) != 0;
    if (spec->nslots() > kMaxArgs) raise(PyExc_SystemError, "velmorpy: too many parameters");
    const int named = spec->npos + spec->nkwonly;
    spec->names = take(PyTuple_GetSlice(varnames.get(), skip, skip + named));
    spec->types.assign(named, nullptr);
    for (int i = 0; i < named; ++i) {
      PyObject* name = PyTuple_GET_ITEM(spec->names.get(), i);
      PyObject* ann = annotations ? PyDict_GetItemWithError(annotations, name) : nullptr;
      if (!ann && PyErr_Occurred()) throw_error_set();
      if (!ann) continue;
      if (!PyType_Check(ann)) raise(PyExc_SystemError, "velmorpy: a parameter annotation must be a class");
      spec->types[i] = reinterpret_cast<PyTypeObject*>(ann);
    }
  } catch (...) {
    delete spec;
    throw;
  }
  return spec;
}

}  // namespace

PyTypeObject FunctionType = {PyVarObject_HEAD_INIT(nullptr, 0)};

int ready_function_type() noexcept {
  FunctionType.tp_name = "velmorpy.function";
  FunctionType.tp_basicsize = sizeof(FunctionObject);
  FunctionType.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_HAVE_VECTORCALL |
                          Py_TPFLAGS_METHOD_DESCRIPTOR;
  FunctionType.tp_vectorcall_offset = offsetof(FunctionObject, vectorcall);
  FunctionType.tp_call = PyVectorcall_Call;
  FunctionType.tp_dealloc = slot(function_dealloc);
  FunctionType.tp_traverse = slot(function_traverse);
  FunctionType.tp_clear = slot(function_clear);
  FunctionType.tp_repr = slot(function_repr);
  FunctionType.tp_descr_get = slot(function_descr_get);
  FunctionType.tp_getset = function_getset;
  FunctionType.tp_members = function_members;
  FunctionType.tp_methods = function_methods;
  FunctionType.tp_dictoffset = offsetof(FunctionObject, dict);
  FunctionType.tp_weaklistoffset = offsetof(FunctionObject, weakreflist);
  return PyType_Ready(&FunctionType);
}

Ref make_function(const FunctionDef& def, PyObject* qualname, PyTypeObject* owner, PyObject* closure,
                  const char* file) {
  // Code objects name the source relative to the module's tree: "velmorpy/model/model.cpp".
  std::string source = "velmorpy";
  if (file) {
    const char* tail = std::strstr(file, "SdkV2Py/");
    source = tail ? std::string("velmorpy/") + (tail + 8) : std::string(file);
  }
  Ref pyfunc = compile_signature(def);
  Ref name = take(PyUnicode_InternFromString(def.name));
  Ref qual = qualname ? Ref::borrow(qualname) : Ref::borrow(name.get());
  // The code object names our source and definition line, and keeps only the
  // parameter names (annotations are ours, not the user's).
  Ref rawcode = take(PyObject_GetAttrString(pyfunc.get(), "__code__"));
  Ref replace = take(PyObject_GetAttrString(rawcode.get(), "replace"));
  Ref kwargs = take(Py_BuildValue("{s:s,s:i,s:O,s:O}", "co_filename", source.c_str(),
                                  "co_firstlineno", def.line > 0 ? def.line : 1, "co_name", name.get(),
                                  "co_qualname", qual.get()));
  Ref empty = take(PyTuple_New(0));
  Ref code = take(PyObject_Call(replace.get(), empty.get(), kwargs.get()));
  Ref defaults = take(PyObject_GetAttrString(pyfunc.get(), "__defaults__"));
  Ref kwdefaults = take(PyObject_GetAttrString(pyfunc.get(), "__kwdefaults__"));
  Ref annotations = take(PyObject_GetAttrString(pyfunc.get(), "__annotations__"));
  Ref doc = def.doc ? take(PyUnicode_FromString(def.doc)) : Ref::borrow(Py_None);
  Ref module = take(PyUnicode_InternFromString("velmorpy"));
  ArgSpec* spec = build_spec(code.get(), PyDict_Check(annotations.get()) ? annotations.get() : nullptr, def.kind);
  spec->counts_zero = def.counts_zero;

  // Nothing below can fail.
  auto* f = PyObject_GC_New(FunctionObject, &FunctionType);
  if (!f) {
    delete spec;
    throw_error_set();
  }
  f->vectorcall = function_vectorcall;
  f->impl = def.impl;
  f->spec = spec;
  f->kind = def.kind;
  f->owner = owner;
  f->closure = Py_XNewRef(closure);
  f->name = name.release();
  f->qualname = qual.release();
  f->module = module.release();
  f->doc = doc.release();
  f->defaults = defaults.get() == Py_None ? nullptr : defaults.release();
  f->kwdefaults = kwdefaults.get() == Py_None ? nullptr : kwdefaults.release();
  f->annotations = nullptr;
  f->code = code.release();
  f->globals = Py_XNewRef(state().dict);
  f->dict = nullptr;
  f->weakreflist = nullptr;
  PyObject_GC_Track(f);
  return Ref::steal(reinterpret_cast<PyObject*>(f));
}

int unpack_call(PyObject* fn, PyObject* args, PyObject* kwargs, Args& out) noexcept {
  auto* f = reinterpret_cast<FunctionObject*>(fn);
  const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
  const Py_ssize_t nkw = kwargs ? PyDict_GET_SIZE(kwargs) : 0;
  if (nkw == 0) return unpack(*f->spec, f->name, f->defaults, f->kwdefaults, &PyTuple_GET_ITEM(args, 0), nargs,
                              nullptr, out);
  // Lay the call out as a vectorcall: positionals, then keyword values named by a tuple.
  std::vector<PyObject*> stack(static_cast<size_t>(nargs + nkw));
  for (Py_ssize_t i = 0; i < nargs; ++i) stack[i] = PyTuple_GET_ITEM(args, i);
  PyObject* kwnames = PyTuple_New(nkw);
  if (!kwnames) return -1;
  Py_ssize_t pos = 0, j = 0;
  PyObject *key, *value;
  while (PyDict_Next(kwargs, &pos, &key, &value)) {
    PyTuple_SET_ITEM(kwnames, j, Py_NewRef(key));
    stack[nargs + j++] = value;
  }
  int rc = unpack(*f->spec, f->name, f->defaults, f->kwdefaults, stack.data(), nargs, kwnames, out);
  Py_DECREF(kwnames);
  return rc;
}

}  // namespace velmorpy
