// Operand: its number slots, comparisons, reflected methods and the operator methods.
#include "algebra/operand.hpp"

#include "algebra/kernels.hpp"
#include "algebra/object_arrays.hpp"
#include "algebra/sum_builder.hpp"
#include "attributes/handle.hpp"
#include "attributes/var.hpp"
#include "expressions/linexpr.hpp"
#include "expressions/quadexpr.hpp"
#include "expressions/tempconstr.hpp"
#include "runtime/args.hpp"
#include "runtime/errors.hpp"
#include "runtime/function.hpp"
#include "runtime/members.hpp"
#include "runtime/numbers.hpp"
#include "runtime/state.hpp"
#include "runtime/strings.hpp"

namespace velmorpy {

PyObject* operand_negative(PyObject* self) noexcept;

namespace {

PyObject* operand_nb_add(PyObject* a, PyObject* b) noexcept;
PyObject* operand_nb_multiply(PyObject* a, PyObject* b) noexcept;

bool counts(PyObject* x, PyObject* other, binaryfunc PyNumberMethods::*slot, binaryfunc entry) {
  return counts_as(x, other, slot, entry, &OperandType);
}

// x.<name>(arg): in C when x's type uses Operand's own entry, else by name
// (a subclass may define the method).
Ref call_rule(PyObject* x, PyObject* arg, binaryfunc PyNumberMethods::*slot, binaryfunc entry, PyObject* name,
              Ref (*rule)(PyObject*, PyObject*)) {
  PyNumberMethods* nb = Py_TYPE(x)->tp_as_number;
  if (nb && nb->*slot == entry) return rule(x, arg);
  return take(PyObject_CallMethodOneArg(x, name, arg));
}

// Recursion through the operators (element-wise kernels apply them again to
// every element) is bounded by the interpreter's recursion limit. An operator
// reached with an exception already set (NumPy's object dot product goes on
// multiplying and adding cells after one of them failed) runs nothing and
// leaves that exception to its caller: any Python code it ran would fail on
// the pending exception. The operands are held throughout (guarded_holding).
template <class F>
PyObject* entry(PyObject* a, PyObject* b, F&& body) noexcept {
  if (PyErr_Occurred()) return nullptr;
  return guarded_holding(a, b, [&]() -> PyObject* {
    RecursionGuard guard(" in an operator of velmorpy");
    return body();
  });
}

// The negation a subtraction adds: numbers and our own kinds are negated in
// the sum (no object is made); anything else by the interpreter, as an object
// that `hold` keeps.
Summand negated(PyObject* other, Ref& hold) {
  const OpKind k = operand_kind(other);
  if (k == OpKind::Number) return summand_of(other, -1.0);
  if (k == OpKind::Var || k == OpKind::Lin || k == OpKind::Quad) {
    PyNumberMethods* nb = Py_TYPE(other)->tp_as_number;
    if (nb && nb->nb_negative == operand_negative) return summand_of(other, -1.0);
  }
  hold = negative(other);
  return summand_of(hold.get());
}

// --- slots ---------------------------------------------------------------------------

PyObject* operand_nb_add(PyObject* a, PyObject* b) noexcept {
  return entry(a, b, [&] {
    if (counts(a, b, &PyNumberMethods::nb_add, operand_nb_add)) return operand_add(a, b).release();
    if (counts(b, a, &PyNumberMethods::nb_add, operand_nb_add))
      return call_rule(b, a, &PyNumberMethods::nb_add, operand_nb_add, VLM_STR("__add__"), operand_add).release();
    return Py_NewRef(Py_NotImplemented);
  });
}

PyObject* operand_nb_subtract(PyObject* a, PyObject* b) noexcept {
  return entry(a, b, [&] {
    if (counts(a, b, &PyNumberMethods::nb_subtract, operand_nb_subtract)) return operand_sub(a, b).release();
    if (counts(b, a, &PyNumberMethods::nb_subtract, operand_nb_subtract)) return operand_rsub(b, a).release();
    return Py_NewRef(Py_NotImplemented);
  });
}

PyObject* operand_nb_multiply(PyObject* a, PyObject* b) noexcept {
  return entry(a, b, [&] {
    if (counts(a, b, &PyNumberMethods::nb_multiply, operand_nb_multiply)) return operand_mul(a, b).release();
    if (counts(b, a, &PyNumberMethods::nb_multiply, operand_nb_multiply))
      return call_rule(b, a, &PyNumberMethods::nb_multiply, operand_nb_multiply, VLM_STR("__mul__"), operand_mul)
          .release();
    return Py_NewRef(Py_NotImplemented);
  });
}

PyObject* operand_nb_matmul(PyObject* a, PyObject* b) noexcept {
  return entry(a, b, [&] {
    if (counts(a, b, &PyNumberMethods::nb_matrix_multiply, operand_nb_matmul)) return operand_matmul(a, b).release();
    if (counts(b, a, &PyNumberMethods::nb_matrix_multiply, operand_nb_matmul)) return operand_rmatmul(b, a).release();
    return Py_NewRef(Py_NotImplemented);
  });
}

// Only a left Operand divides; the divisor is converted to a double first.
PyObject* operand_nb_truediv(PyObject* a, PyObject* b) noexcept {
  return entry(a, b, [&] {
    if (!counts(a, b, &PyNumberMethods::nb_true_divide, operand_nb_truediv)) return Py_NewRef(Py_NotImplemented);
    return operand_truediv(a, number_value(b)).release();
  });
}

PyObject* operand_nb_power(PyObject* a, PyObject* b, PyObject*) noexcept {
  return entry(a, b, [&] {
    // counts() for the three-operand slot.
    PyNumberMethods* nb = Py_TYPE(a)->tp_as_number;
    const bool left = Py_TYPE(a) == Py_TYPE(b) || (nb && nb->nb_power == operand_nb_power) || is_operand(a);
    if (!left) return Py_NewRef(Py_NotImplemented);
    return operand_pow(a, b).release();
  });
}

PyObject* operand_richcompare(PyObject* self, PyObject* other, int op) noexcept {
  switch (op) {
    case Py_LE: return entry(self, other, [&] { return operand_le(self, other).release(); });
    case Py_GE: return entry(self, other, [&] { return operand_ge(self, other).release(); });
    case Py_EQ: return entry(self, other, [&] { return operand_eq(self, other).release(); });
    case Py_NE:
      return entry(self, other, [&] {
        Ref eq = operand_eq(self, other);
        return Py_NewRef(check(PyObject_IsTrue(eq.get())) ? Py_False : Py_True);
      });
    default: Py_RETURN_NOTIMPLEMENTED;
  }
}

// A Var hashes by its index, so two handles of one variable meet in one
// dictionary entry; expressions are not hashable.
Py_hash_t operand_hash(PyObject* self) noexcept {
  if (is_var(self)) {
    const Py_hash_t h = as_handle(self)->index;
    return h == -1 ? -2 : h;
  }
  PyErr_Format(PyExc_TypeError, "unsupported operand type(s) for hash(): `%s`", _PyType_Name(Py_TYPE(self)));
  return -1;
}

// --- the Python-visible reflected methods -------------------------------------------

PyObject* operand_radd(PyObject* self, const Args& a) {
  return call_rule(self, a[0], &PyNumberMethods::nb_add, operand_nb_add, VLM_STR("__add__"), operand_add).release();
}

PyObject* operand_rsub_method(PyObject* self, const Args& a) { return operand_rsub(self, a[0]).release(); }

PyObject* operand_rmul(PyObject* self, const Args& a) {
  return call_rule(self, a[0], &PyNumberMethods::nb_multiply, operand_nb_multiply, VLM_STR("__mul__"), operand_mul)
      .release();
}

PyObject* operand_rmatmul_method(PyObject* self, const Args& a) { return operand_rmatmul(self, a[0]).release(); }

const FunctionDef operand_members[] = {
    {"__radd__", "self, other", operand_radd, Kind::Method, nullptr, __LINE__},
    {"__rsub__", "self, other", operand_rsub_method, Kind::Method, nullptr, __LINE__},
    {"__rmul__", "self, other", operand_rmul, Kind::Method, nullptr, __LINE__},
    {"__rmatmul__", "self, other", operand_rmatmul_method, Kind::Method, nullptr, __LINE__},
    {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
};

PyNumberMethods operand_as_number = {};

}  // namespace

bool counts_as(PyObject* x, PyObject* other, binaryfunc PyNumberMethods::*slot, binaryfunc entry, PyTypeObject* base) {
  if (Py_TYPE(x) == Py_TYPE(other)) return true;
  PyNumberMethods* nb = Py_TYPE(x)->tp_as_number;
  if (nb && nb->*slot == entry) return true;
  return PyObject_TypeCheck(x, base);
}

// --- the operator methods -------------------------------------------------------------

Ref operand_add(PyObject* self, PyObject* other) {
  const Summand left = summand_of(self);
  if (left.kind == OpKind::None) raise_unsupported("+", self, other);
  return add_summands(left, summand_of(other));
}

// self - other is self + (-other). Every failure on the way (the negation's,
// a kernel's) becomes the subtraction's TypeError; MemoryError,
// RecursionError (an operand that holds itself) and the exceptions that are
// not Exceptions (KeyboardInterrupt, SystemExit) pass.
Ref operand_sub(PyObject* self, PyObject* other) {
  try {
    const Summand left = summand_of(self);
    if (left.kind == OpKind::None) raise_unsupported("-", self, other);
    Ref hold;
    const Summand right = negated(other, hold);
    return add_summands(left, right);
  } catch (...) {
    translate_current_exception();
    if (PyErr_ExceptionMatches(PyExc_Exception) && !PyErr_ExceptionMatches(PyExc_MemoryError) &&
        !PyErr_ExceptionMatches(PyExc_RecursionError)) {
      PyErr_Clear();
      raise_unsupported("-", self, other);
    }
    throw_error_set();
  }
}

// other - self is (-self) + other, the negation's own __add__ deciding.
Ref operand_rsub(PyObject* self, PyObject* other) {
  const OpKind k = operand_kind(self);
  PyNumberMethods* nb = Py_TYPE(self)->tp_as_number;
  if ((k == OpKind::Var || k == OpKind::Lin || k == OpKind::Quad) && nb && nb->nb_negative == operand_negative)
    return add_summands(summand_of(self, -1.0), summand_of(other));
  Ref negated_self = take(PyNumber_Negative(self));
  return call_rule(negated_self.get(), other, &PyNumberMethods::nb_add, operand_nb_add, VLM_STR("__add__"),
                   operand_add);
}

Ref operand_mul(PyObject* self, PyObject* other) {
  switch (operand_kind(self)) {
    case OpKind::Number: return n_mul_o(number_value(self), other);
    case OpKind::Array: return a_mul_o(self, other);
    case OpKind::Var: return v_mul_o(self, other);
    case OpKind::Lin: return l_mul_o(self, other);
    case OpKind::Quad: return q_mul_o(self, other);
    case OpKind::MVar: return mv_mul_o(self, other);
    case OpKind::MLin: return ml_mul_o(self, other);
    case OpKind::MQuad: return mq_mul_o(self, other);
    case OpKind::None: break;
  }
  raise_unsupported("*", self, other);
}

Ref operand_matmul(PyObject* self, PyObject* other) {
  switch (operand_kind(self, true)) {
    case OpKind::Array: return a_matmul_o(self, other);
    case OpKind::MVar: return mv_matmul_o(self, other);
    case OpKind::MLin: return ml_matmul_o(self, other);
    case OpKind::MQuad: return mq_matmul_o(self, other);
    default: break;
  }
  raise_unsupported("@", self, other);
}

Ref operand_rmatmul(PyObject* self, PyObject* other) {
  switch (operand_kind(other, true)) {
    case OpKind::Array: return a_matmul_o(other, self);
    case OpKind::MVar: return mv_matmul_o(other, self);
    case OpKind::MLin: return ml_matmul_o(other, self);
    case OpKind::MQuad: return mq_matmul_o(other, self);
    default: break;
  }
  raise_unsupported("@", other, self);
}

Ref operand_truediv(PyObject* self, double d) {
  if (d == 0.0) raise(PyExc_ZeroDivisionError, "float division");
  Ref factor = take(PyFloat_FromDouble(1.0 / d));
  return call_rule(self, factor.get(), &PyNumberMethods::nb_multiply, operand_nb_multiply, VLM_STR("__mul__"),
                   operand_mul);
}

Ref operand_pow(PyObject* self, PyObject* exponent) {
  bool two;
  if (PyLong_CheckExact(exponent) || PyFloat_CheckExact(exponent)) {
    two = PyFloat_CheckExact(exponent) ? PyFloat_AS_DOUBLE(exponent) == 2.0 : PyLong_AsLong(exponent) == 2;
    if (PyErr_Occurred()) PyErr_Clear();  // an int beyond a long is not 2
  } else {
    check_object_nesting(exponent);  // an array is compared cell by cell by NumPy
    Ref two_obj = take(PyLong_FromLong(2));
    two = !check(PyObject_RichCompareBool(exponent, two_obj.get(), Py_NE));
  }
  if (!two) {
    Ref text = take(PyUnicode_FromFormat("`%s` can only be raised to a power of two", _PyType_Name(Py_TYPE(self))));
    raise_velmor_text(text);
  }
  switch (operand_kind(self)) {
    case OpKind::Var: return v_mul_v(self, self);
    case OpKind::Lin: return l_mul_l(self, self);
    case OpKind::MVar: return mv_mul_mv(self, self);
    case OpKind::MLin: return ml_mul_ml(self, self);
    default: break;
  }
  raise_format(PyExc_TypeError, "unsupported operand type(s) for ** or pow(): `%s` and 'int'",
               _PyType_Name(Py_TYPE(self)));
}

Ref operand_neg(PyObject* self) {
  const OpKind k = operand_kind(self);
  switch (k) {
    case OpKind::Var: return v_mul_n(self, -1.0);
    case OpKind::Lin:
      if (Py_IS_TYPE(self, &LinExprType)) return l_mul_n(self, -1.0);
      break;
    case OpKind::Quad:
      if (Py_IS_TYPE(self, &QuadExprType)) return q_mul_n(self, -1.0);
      break;
    case OpKind::MVar:
    case OpKind::MLin:
    case OpKind::MQuad:
      return matrix_neg(self, k);
    default:
      raise_format(PyExc_TypeError, "bad operand type for unary -: `%s`", _PyType_Name(Py_TYPE(self)));
  }
  // A subclass of LinExpr or QuadExpr: self * -1 through the multiplication operator.
  Ref minus_one = take(PyLong_FromLong(-1));
  return take(PyNumber_Multiply(self, minus_one.get()));
}

Ref operand_le(PyObject* self, PyObject* other) { return tempconstr_new(self, Py_None, other); }
Ref operand_ge(PyObject* self, PyObject* other) { return tempconstr_new(self, other, Py_None); }

// self == [lb, ub] is the range lb <= self <= ub; self == other is the
// equality self - other == 0.
Ref operand_eq(PyObject* self, PyObject* other) {
  const OpKind k = operand_kind(self);
  if ((k == OpKind::Var || k == OpKind::Lin || k == OpKind::Quad) && is_arraylike(other)) {
    const Py_ssize_t n = PyObject_Length(other);
    if (n < 0) throw_error_set();
    if (n != 2) raise(PyExc_ValueError, "`=` expect an array with 2 elements: [ LHS, RHS ]");
    Ref lb = take(PySequence_GetItem(other, 0)), ub = take(PySequence_GetItem(other, 1));
    return tempconstr_new(self, lb.get(), ub.get());
  }
  const OpKind ko = operand_kind(other);
  if (ko == OpKind::Number || ko == OpKind::Var || ko == OpKind::Lin || ko == OpKind::Quad) {
    // self - numpy.asarray(other) is self - other for these kinds.
    Ref diff = operand_sub(self, other);
    const bool handles = k == OpKind::Var && ko == OpKind::Var;
    return tempconstr_equality(diff.get(), handles ? self : nullptr, handles ? other : nullptr);
  }
  Ref np = module_global("_np");
  Ref as_array = take(PyObject_CallMethodOneArg(np.get(), VLM_STR("asarray"), other));
  Ref diff = take(PyNumber_Subtract(self, as_array.get()));
  return tempconstr_equality(diff.get());
}

PyObject* operand_negative(PyObject* self) noexcept {
  return entry(self, nullptr, [&] { return operand_neg(self).release(); });
}

PyTypeObject OperandType = {PyVarObject_HEAD_INIT(nullptr, 0)};

void prepare_operand() {
  operand_as_number.nb_add = slot(operand_nb_add);
  operand_as_number.nb_subtract = slot(operand_nb_subtract);
  operand_as_number.nb_multiply = slot(operand_nb_multiply);
  operand_as_number.nb_matrix_multiply = slot(operand_nb_matmul);
  operand_as_number.nb_true_divide = slot(operand_nb_truediv);
  operand_as_number.nb_power = slot(operand_nb_power);
  operand_as_number.nb_negative = slot(operand_negative);

  OperandType.tp_name = "velmorpy.Operand";
  OperandType.tp_basicsize = sizeof(PyObject);
  OperandType.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE;
  OperandType.tp_new = PyType_GenericNew;
  OperandType.tp_hash = slot(operand_hash);
  OperandType.tp_richcompare = slot(operand_richcompare);
  OperandType.tp_as_number = &operand_as_number;
}

void bind_operand_namespace() { bind_members(&OperandType, operand_members, __FILE__); }

}  // namespace velmorpy
