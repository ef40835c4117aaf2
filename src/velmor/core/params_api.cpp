// The parameter functions of environments (a model's parameters live in its
// private environment).
#include <string>

#include "core/api_guard.hpp"
#include "core/env.hpp"
#include "core/fileio.hpp"
#include "core/params.hpp"

using velmor::api_call;
using velmor::ParamType;
using velmor::refuse;

namespace {

// The id of a parameter of `type`, refusing with `code` (the getter's or the
// setter's) for a null name, an unknown name or another type.
int typed_param(const char* name, ParamType type, int code) {
  if (!name) refuse(VLM_ERROR_INVALID_ARGUMENT);
  const int id = velmor::find_param(name);
  if (id < 0 || velmor::param_info(id).type != type) refuse(code);
  return id;
}

void set_param(VLMenv* env, const char* name, ParamType type, double value) {
  const int id = typed_param(name, type, VLM_ERROR_PARAM_SET_ERROR);
  velmor::check_env_writable(*env);
  env->params.set(id, velmor::checked_param_value(id, value));
}

}  // namespace

extern "C" {

int VLMsetintparam(VLMenv* env, const char* name, int value) {
  if (!env) return VLM_ERROR_INVALID_ARGUMENT;
  return api_call([&] {
    set_param(env, name, ParamType::Int, value);
    return VLM_OKAY;
  });
}

int VLMsetdblparam(VLMenv* env, const char* name, double value) {
  if (!env) return VLM_ERROR_INVALID_ARGUMENT;
  return api_call([&] {
    set_param(env, name, ParamType::Double, value);
    return VLM_OKAY;
  });
}

// The library has no text parameters: every name is unknown or of another type.
int VLMsetstrparam(VLMenv* env, const char* name, const char* value) {
  if (!env || !name || !value) return VLM_ERROR_INVALID_ARGUMENT;
  return VLM_ERROR_PARAM_SET_ERROR;
}

int VLMgetintparam(VLMenv* env, const char* name, int* value) {
  if (!env || !value) return VLM_ERROR_INVALID_ARGUMENT;
  return api_call([&] {
    *value = env->params.get_int(typed_param(name, ParamType::Int, VLM_ERROR_PARAM_GET_ERROR));
    return VLM_OKAY;
  });
}

int VLMgetdblparam(VLMenv* env, const char* name, double* value) {
  if (!env || !value) return VLM_ERROR_INVALID_ARGUMENT;
  return api_call([&] {
    *value = env->params.get(typed_param(name, ParamType::Double, VLM_ERROR_PARAM_GET_ERROR));
    return VLM_OKAY;
  });
}

int VLMgetstrparam(VLMenv* env, const char* name, char* value) {
  if (!env || !name || !value) return VLM_ERROR_INVALID_ARGUMENT;
  return VLM_ERROR_PARAM_GET_ERROR;
}

int VLMgetintparaminfo(VLMenv* env, const char* name, int* current, int* minimum, int* maximum, int* defval) {
  if (!env) return VLM_ERROR_INVALID_ARGUMENT;
  return api_call([&] {
    const int id = typed_param(name, ParamType::Int, VLM_ERROR_PARAM_GET_ERROR);
    const velmor::ParamInfo& p = velmor::param_info(id);
    // The out-pointers may alias: each is written once and none is read.
    if (current) *current = env->params.get_int(id);
    if (minimum) *minimum = static_cast<int>(p.min);
    if (maximum) *maximum = static_cast<int>(p.max);
    if (defval) *defval = static_cast<int>(p.def);
    return VLM_OKAY;
  });
}

int VLMgetdblparaminfo(VLMenv* env, const char* name, double* current, double* minimum, double* maximum,
                       double* defval) {
  if (!env) return VLM_ERROR_INVALID_ARGUMENT;
  return api_call([&] {
    const int id = typed_param(name, ParamType::Double, VLM_ERROR_PARAM_GET_ERROR);
    const velmor::ParamInfo& p = velmor::param_info(id);
    if (current) *current = env->params.get(id);
    if (minimum) *minimum = p.min;
    if (maximum) *maximum = p.max;
    if (defval) *defval = p.def;
    return VLM_OKAY;
  });
}

int VLMgetstrparaminfo(VLMenv* env, const char* name, char* current, char* defval) {
  if (!env || !name) return VLM_ERROR_INVALID_ARGUMENT;
  (void)current;
  (void)defval;
  return VLM_ERROR_PARAM_GET_ERROR;
}

int VLMresetparams(VLMenv* env) {
  if (!env) return VLM_ERROR_INVALID_ARGUMENT;
  return api_call([&] {
    velmor::check_env_writable(*env);
    env->params.reset();
    return VLM_OKAY;
  });
}

int VLMreadparams(VLMenv* env, const char* filename) {
  if (!env || !filename) return VLM_ERROR_INVALID_ARGUMENT;
  return api_call([&] {
    velmor::check_env_writable(*env);
    const std::string text = velmor::read_file(filename);
    velmor::parse_param_file(text, env->params);
    return VLM_OKAY;
  });
}

int VLMwriteparams(VLMenv* env, const char* filename) {
  if (!env || !filename) return VLM_ERROR_INVALID_ARGUMENT;
  return api_call([&] {
    velmor::write_file(filename, velmor::format_param_file(env->params));
    return VLM_OKAY;
  });
}

}  // extern "C"
