// Item handles meeting the library: handle arguments, library indices, lists and counts.
#include "model/model_items.hpp"

#include "attributes/handle.hpp"
#include "expressions/linexpr.hpp"
#include "runtime/args.hpp"
#include "runtime/strings.hpp"

namespace velmorpy {

int32_t model_item_index(const Ref& holder, PyObject* item, const char* argname) {
  if (is_handle(item)) {
    if (as_handle(item)->holder_ != holder.get())
      raise_format(PyExc_ValueError, "Argument `%s` is an item of another model", argname);
    return as_handle(item)->index;
  }
  Ref index = take(PyObject_GetAttr(item, VLM_STR("index")));
  return truncating_int(index.get());
}

Ref model_handle_at(const Ref& list, int64_t position, int code) {
  if (!PyList_Check(list.get()) || position < 0 || position >= PyList_GET_SIZE(list.get())) throw VlmCodeError{code};
  return Ref::borrow(PyList_GET_ITEM(list.get(), position));
}

Ref model_list_copy(const Ref& list) {
  if (!PyList_Check(list.get())) throw VlmCodeError{VLM_ERROR_INVALID_ARGUMENT};  // never initialised
  return take(PyList_GetSlice(list.get(), 0, PyList_GET_SIZE(list.get())));
}

Ref model_handles_at(const Ref& list, const SparseLine& line, int code) {
  const auto n = static_cast<Py_ssize_t>(line.ind.size());
  Ref handles = take(PyList_New(n));
  for (Py_ssize_t i = 0; i < n; ++i) PyList_SET_ITEM(handles.get(), i, model_handle_at(list, line.ind[i], code).release());
  return handles;
}

Ref float_list(const SparseLine& line) {
  const auto n = static_cast<Py_ssize_t>(line.val.size());
  Ref values = take(PyList_New(n));
  for (Py_ssize_t i = 0; i < n; ++i) PyList_SET_ITEM(values.get(), i, take(PyFloat_FromDouble(line.val[i])).release());
  return values;
}

Ref model_linexpr_of(const Ref& vars, const SparseLine& line) {
  Ref expr = linexpr_new();
  for (size_t i = 0; i < line.ind.size(); ++i)
    linexpr_addterm(as_linexpr(expr.get()), line.val[i],
                    model_handle_at(vars, line.ind[i], VLM_ERROR_MODEL_INVALID_COL_IDX).get());
  return expr;
}

void raise_library_count(int count) {
  raise_format(PyExc_RuntimeError, "velmorpy: the library reported %d entries", count);
}

}  // namespace velmorpy
