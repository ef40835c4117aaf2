// The module-level parameter functions, paramHelp and the targets they act on.
#include "attributes/param_functions.hpp"

#include <velmor.h>

#include <utility>

#include "attributes/default_env.hpp"
#include "attributes/env.hpp"
#include "attributes/names.hpp"
#include "attributes/param_table.hpp"
#include "attributes/set_param.hpp"
#include "runtime/errors.hpp"
#include "runtime/holder.hpp"
#include "runtime/model_registry.hpp"
#include "runtime/print.hpp"
#include "runtime/strings.hpp"
#include "runtime/text.hpp"

namespace velmorpy {

namespace {

constexpr char kNoDefaultEnvText[] = "Failed to write parameters because default environment has been disposed";

// "<name> (<type>)\n    <description>" of one table row.
void print_param_help(const ParamRow& row) {
  const char* type = row.type == ParamType::Int ? "int" : "float";
  Ref text = take(PyUnicode_FromFormat("%s (%s)\n    %s", row.name, type, row.description));
  print_text(text.get());
}

const ParamRow* find_row(PyObject* canonical) {
  for (std::size_t i = 0; i < kNumParamRows; ++i)
    if (PyUnicode_CompareWithASCIIString(canonical, kParamRows[i].name) == 0) return &kParamRows[i];
  return nullptr;
}

bool has_wildcard(PyObject* key) {
  return check(PySequence_Contains(key, VLM_STR("?"))) || check(PySequence_Contains(key, VLM_STR("*")));
}

}  // namespace

bool ParamTarget::skipped() const { return is_model && !holder_alive(holder.get()); }

std::vector<ParamTarget> param_targets(bool create) {
  std::vector<ParamTarget> targets;
  Ref env = default_env(create);
  if (env.get() != Py_None) targets.push_back({env_holder(env.get()), false});
  for (Ref& holder : _model_holders()) targets.push_back({std::move(holder), true});
  return targets;
}

// A setting made before any model (the top of a script) is kept in the
// default environment, made for it, which the models made afterwards start from.
PyObject* setParam(PyObject*, const Args& a) {
  for (const ParamTarget& target : param_targets(true))
    if (!target.skipped()) _setParam(target.holder, a[0], a[1]);
  Py_RETURN_NONE;
}

PyObject* readParams(PyObject*, const Args& a) {
  std::vector<ParamTarget> targets = param_targets(true);  // as setParam: kept for the models to come
  CText filename(a[0]);
  for (const ParamTarget& target : targets)
    if (!target.skipped()) check_rc(VLMreadparams(live_env(target.holder), filename.get()));
  Py_RETURN_NONE;
}

// Every target is reset; the first failure is raised afterwards.
PyObject* resetParams(PyObject*, const Args&) {
  int first_failure = 0;
  for (const ParamTarget& target : param_targets(false)) {
    if (target.skipped()) continue;
    int rc;
    try {
      rc = VLMresetparams(live_env(target.holder));
    } catch (const VlmCodeError& e) {
      rc = e.code;
    }
    if (rc != 0 && first_failure == 0) first_failure = rc;
  }
  check_rc(first_failure);
  Py_RETURN_NONE;
}

PyObject* writeParams(PyObject*, const Args& a) {
  Ref env = default_env(false);
  if (env.get() == Py_None) {
    Ref text = take(PyUnicode_FromString(kNoDefaultEnvText));
    print_text(text.get());
    Py_RETURN_NONE;
  }
  CText filename(a[0]);
  check_rc(VLMwriteparams(env_handle(env.get()), filename.get()));
  Py_RETURN_NONE;
}

// Only "?" and "*" make a pattern: a name with a bracketed set alone is looked
// up as it stands.
PyObject* paramHelp(PyObject*, const Args& a) {
  PyObject* name = a[0];
  if (name == Py_None) {
    for (std::size_t i = 0; i < kNumParamRows; ++i) print_param_help(kParamRows[i]);
    Py_RETURN_NONE;
  }
  Ref key = table_key(name);
  if (has_wildcard(key.get())) {
    print_matching_params(params_matching(key.get()));
    Py_RETURN_NONE;
  }
  Ref canonical = normParamName(name);
  if (canonical) {
    if (const ParamRow* row = find_row(canonical.get())) print_param_help(*row);
  }
  Py_RETURN_NONE;
}

const char paramHelp_doc[] =
    "\n"
    "    SIGNATURE:\n"
    "        paramHelp(paramname)\n"
    "\n"
    "    PURPOSE:\n"
    "        Print the type and description of parameters\n"
    "\n"
    "    ARGUMENTS:\n"
    "        paramname: the name of a parameter, in any case; a name holding the wildcards\n"
    "                   '*' or '?' lists the parameters it matches; None describes every parameter\n"
    "\n"
    "    EXAMPLE:\n"
    "        paramHelp(\"MaxTime\")\n"
    "        paramHelp(\"MIP/*\")\n"
    "        paramHelp()\n"
    "    ";

const char readParams_doc[] =
    "\n"
    "    SIGNATURE:\n"
    "        readParams(filename)\n"
    "\n"
    "    PURPOSE:\n"
    "        Read parameter settings from a file into the default Environment and into the\n"
    "        models bound to global names of the calling module\n"
    "\n"
    "    ARGUMENTS:\n"
    "        filename: the name of the parameter file\n"
    "\n"
    "    EXAMPLE:\n"
    "        readParams('params.prm')\n"
    "    ";

const char resetParams_doc[] =
    "\n"
    "    SIGNATURE:\n"
    "        resetParams()\n"
    "\n"
    "    PURPOSE:\n"
    "        Reset all parameters to their default values in the default Environment and in\n"
    "        the models bound to global names of the calling module\n"
    "\n"
    "    ARGUMENTS:\n"
    "        None\n"
    "\n"
    "    EXAMPLE:\n"
    "        resetParams()\n"
    "    ";

const char setParam_doc[] =
    "\n"
    "    SIGNATURE:\n"
    "        setParam(paramname, paramvalue)\n"
    "\n"
    "    PURPOSE:\n"
    "        Set the value of a parameter in the default Environment and in the models bound\n"
    "        to global names of the calling module\n"
    "\n"
    "    ARGUMENTS:\n"
    "        paramname: the name of the parameter, in any case; the wildcards '*' and '?'\n"
    "                   select the one parameter they match\n"
    "        paramvalue: the new value; 'default' (in any case) restores the default value\n"
    "\n"
    "    EXAMPLE:\n"
    "        setParam(\"MaxTime\", 10)\n"
    "        setParam(\"MaxTi*\", 10)\n"
    "        setParam(\"MaxTime\", \"default\")\n"
    "    ";

const char writeParams_doc[] =
    "\n"
    "    SIGNATURE:\n"
    "        writeParams(filename)\n"
    "\n"
    "    PURPOSE:\n"
    "        Write the parameter settings of the default Environment to a file\n"
    "\n"
    "    ARGUMENTS:\n"
    "        filename: the name of the parameter file\n"
    "\n"
    "    EXAMPLE:\n"
    "        writeParams('params.prm')\n"
    "    ";

}  // namespace velmorpy
