// quicksum: the module function and the sum it feeds through one SumBuilder.
#include "algebra/quicksum.hpp"

#include "algebra/sum_builder.hpp"
#include "runtime/errors.hpp"

namespace velmorpy {

Ref _quicksum(PyObject* li) {
  SumBuilder sum;
  if (PyList_Check(li) || PyTuple_Check(li)) {
    Ref pin = Ref::borrow(li);
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(li); ++i) {
      Ref item = Ref::borrow(PySequence_Fast_GET_ITEM(li, i));
      add_to_sum(sum, item.get());
    }
  } else {
    Ref it = take(PyObject_GetIter(li));
    while (PyObject* next = PyIter_Next(it.get())) {
      Ref item = Ref::steal(next);
      add_to_sum(sum, item.get());
    }
    if (PyErr_Occurred()) throw_error_set();
  }
  return sum.result();
}

PyObject* quicksum(PyObject*, const Args& a) { return _quicksum(a[0]).release(); }

const char quicksum_doc[] =
    "\n"
    "    SIGNATURE:\n"
    "        quicksum(li)\n"
    "\n"
    "    PURPOSE:\n"
    "        Quickly sum to get an expression\n"
    "\n"
    "    ARGUMENTS:\n"
    "        li: List of terms\n"
    "\n"
    "    EXAMPLE:\n"
    "        expr = quicksum([x, 2 * y, 3])\n"
    "        expr = quicksum(cost[i] * x[i] for i in range(n))\n"
    "    ";

}  // namespace velmorpy
