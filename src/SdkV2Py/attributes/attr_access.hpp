// The attribute layer: every read and write of a solver attribute.
//
// A request names the attribute as the program wrote it, the kind of owner the
// caller expects (the model, or one kind of item) and the items: a sequence of
// handles, or none for the model itself. The layer normalises the name through
// the attribute table, asks the library for the attribute's type and kind
// (nothing is cached), refuses a kind that differs from the caller's as an
// attribute that does not exist, and moves all values of the request in one
// library call through C-contiguous arrays it builds itself.
//
// The model is given as its liveness Holder, held by the caller for the whole
// request (an owning reference: conversions and NumPy calls run Python code,
// which may drop every other reference to it). The layer checks it is alive
// immediately before every library call, after any conversion that could run
// Python code.
#pragma once
#include <Python.h>

#include <velmor.h>

#include "runtime/ref.hpp"

namespace velmorpy {

// Owners of attributes, numbered as VLMgetattrinfo reports them.
enum class AttrKind : int { Model = 0, Var, Constr, SOS, QConstr, GenConstr, PsdVar, PsdConstr };
// Value types, numbered as VLMgetattrinfo reports them.
enum class AttrType : int { Char = 0, Int, Double, String, Matrix };

struct AttrInfo {
  AttrType type;
  AttrKind kind;
};

// The library's type and kind of the attribute `cname` (canonical, UTF-8).
// VelmorError for a failing query. Throws.
AttrInfo _getAttrInfo(VLMmodel* model, const char* cname);

// Reads the attribute for the model (objs null) or for each handle of `objs`
// (any iterable of handles of `kind` belonging to `holder`), as a new
// one-dimensional NumPy array: int32, float64, or objects (one-character bytes
// for char attributes, str, matrices). An empty sequence makes no library
// call and gives an empty array. Throws.
Ref _getAttr(const Ref& holder, PyObject* attrname, AttrKind kind, PyObject* objs);
// The first element of _getAttr for the model (item null) or for one handle:
// numpy.int32, numpy.float64, bytes, str or a matrix. Throws.
Ref _getAttrOne(const Ref& holder, PyObject* attrname, AttrKind kind, PyObject* item);

// Writes the attribute for the model (objs null; `values` is the one value)
// or for each handle of `objs`. `values` is a scalar (given to every item), a
// sequence (possibly nested: its leaves in row-major order), a NumPy array or
// a SciPy sparse matrix (dense values, zeros included); for matrix attributes
// a sequence of matrices. The number of values must equal the number of
// items. Everything is converted before the library is called, so a refused
// request writes nothing. Throws.
void _setAttr(const Ref& holder, PyObject* attrname, AttrKind kind, PyObject* objs, PyObject* values);
// _setAttr(holder, attrname, kind, [item], [value]) for one handle. Throws.
void _setAttrOne(const Ref& holder, PyObject* attrname, AttrKind kind, PyObject* item, PyObject* value);

// _getAttrOne as the attribute look-up of an object uses it (m.NumVars, x.UB):
// a name that is no attribute is an expected miss (hasattr, getattr with a
// default, NumPy's probes), answered with AttributeError set and nullptr,
// without a throw or a library call. Other failures throw.
PyObject* _getAttrOrMiss(const Ref& holder, PyObject* attrname, AttrKind kind, PyObject* item);

// AttributeError "Attribute `{}` does not exist" with the name as given: set
// (returning nullptr), or raised.
PyObject* set_attr_not_exist(PyObject* attrname) noexcept;
[[noreturn]] void raise_attr_not_exist(PyObject* attrname);


}  // namespace velmorpy
