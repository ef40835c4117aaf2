// Reading and writing files by suffix: models (.mps, .qps, .lp, .cbf; .dat-s
// read only), solutions (.sol), bases (.bas), parameters (.prm) and MIP starts
// (.mst), each optionally compressed (.gz, .bz2).
#include <string>
#include <vector>

#include "core/fileio.hpp"
#include "io/formats.hpp"
#include "model/model.hpp"

using velmor::refuse;
using velmor::with_model;

namespace {

bool is_model_format(const std::string& format) {
  return format == "mps" || format == "qps" || format == "lp" || format == "cbf" || format == "dat-s";
}

velmor::ModelData parse_model(const std::string& format, const std::string& text, std::vector<std::string>& notes) {
  if (format == "mps" || format == "qps") return velmor::read_mps(text, notes);
  if (format == "lp") return velmor::read_lp(text);
  if (format == "dat-s") return velmor::read_sdpa(text);
  return velmor::read_cbf(text);
}

}  // namespace

extern "C" {

int VLMreadmodel(VLMenv* env, const char* filename, VLMmodel** model) {
  if (!env || !filename || !model) return VLM_ERROR_INVALID_ARGUMENT;
  return velmor::api_call([&] {
    const velmor::FileKind kind = velmor::file_kind(filename);
    if (!is_model_format(kind.format)) refuse(VLM_ERROR_FORMAT_ERROR);
    const std::string text = velmor::read_file(filename);
    auto m = velmor::make_model(*env);
    std::vector<std::string> notes;
    m->data = parse_model(kind.format, text, notes);
    for (const std::string& note : notes) m->env->log->write_line(note, true);
    *model = m.release();
    return VLM_OKAY;
  });
}

int VLMread(VLMmodel* model, const char* filename) {
  return with_model(model, [&](VLMmodel& m) {
    if (!filename) refuse(VLM_ERROR_INVALID_ARGUMENT);
    velmor::check_writable(m);
    const velmor::FileKind kind = velmor::file_kind(filename);
    // Model files make new models (VLMreadmodel): the caller's item handles
    // would not follow a model replaced under them.
    if (kind.format == "prm") {
      const std::string text = velmor::read_file(filename);
      velmor::parse_param_file(text, m.env->params);
    } else if (kind.format == "mst") {
      const std::string text = velmor::read_file(filename);
      velmor::read_mst(text, m.data);
    } else if (kind.format == "bas") {
      const std::string text = velmor::read_file(filename);
      m.data.start_basis = velmor::read_basis(text, m.data);
    } else {
      refuse(VLM_ERROR_FORMAT_ERROR);
    }
    return VLM_OKAY;
  });
}

int VLMwrite(VLMmodel* model, const char* filename) {
  return with_model(model, [&](VLMmodel& m) {
    if (!filename) refuse(VLM_ERROR_INVALID_ARGUMENT);
    const velmor::FileKind kind = velmor::file_kind(filename);
    std::string text;
    if (kind.format == "mps" || kind.format == "qps")
      text = velmor::write_mps(m.data);
    else if (kind.format == "lp")
      text = velmor::write_lp(m.data);
    else if (kind.format == "cbf")
      text = velmor::write_cbf(m.data);
    else if (kind.format == "sol")
      text = velmor::write_sol(m);
    else if (kind.format == "bas")
      text = velmor::write_basis(m);
    else if (kind.format == "prm")
      text = velmor::format_param_file(m.env->params);
    else if (kind.format == "mst")
      text = velmor::write_mst(m.data);
    else
      refuse(VLM_ERROR_FORMAT_ERROR);
    velmor::write_file(filename, text);
    return VLM_OKAY;
  });
}

}  // extern "C"
