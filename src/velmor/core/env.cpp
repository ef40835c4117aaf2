// Environments: making, starting and freeing them, the version, messages and the line sink.
#include "core/env.hpp"

#include <string>

#include "core/api_guard.hpp"

using velmor::api_call;

namespace {

int make_env(VLMenv** env, const char* logfilename) {
  if (!env) return VLM_ERROR_INVALID_ARGUMENT;
  return api_call([&] {
    auto e = std::make_unique<VLMenv>();
    e->log = velmor::LogSink::open(logfilename ? logfilename : "");
    if (!e->log) return VLM_ERROR_FILE_WRITE_ERROR;
    *env = e.release();
    return VLM_OKAY;
  });
}

}  // namespace

extern "C" {

int VLMemptyenv(VLMenv** env) { return make_env(env, nullptr); }

int VLMloadenv(VLMenv** env, const char* logfilename) {
  if (!logfilename) return VLM_ERROR_INVALID_ARGUMENT;
  return make_env(env, logfilename);
}

int VLMstartenv(VLMenv* env) {
  if (!env) return VLM_ERROR_INVALID_ARGUMENT;
  env->started = true;
  return VLM_OKAY;
}

int VLMfreeenv(VLMenv* env) {
  // A model's own environment goes with its model.
  if (env && env->owner) return VLM_ERROR_INVALID_ARGUMENT;
  delete env;
  return VLM_OKAY;
}

int VLMversion(int* major, int* minor, int* technical) {
  if (major) *major = VLM_VERSION_MAJOR;
  if (minor) *minor = VLM_VERSION_MINOR;
  if (technical) *technical = VLM_VERSION_TECHNICAL;
  return VLM_OKAY;
}

int VLMmsg(VLMenv* env, const char* message) {
  if (!env || !message) return VLM_ERROR_INVALID_ARGUMENT;
  return api_call([&] {
    env->log->write_line(message, true);
    return VLM_OKAY;
  });
}

int VLMsetlinesink(VLMenv* env, VLMlinesink sink, void* userdata) {
  if (!env) return VLM_ERROR_INVALID_ARGUMENT;
  env->log->set_line_sink(sink, userdata);
  return VLM_OKAY;
}

}  // extern "C"
