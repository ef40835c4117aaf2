// Model life cycle: making, copying and freeing models, results, callbacks.
#include "model/model.hpp"

#include <algorithm>

#include "core/validate.hpp"

namespace velmor {

SymMatrix sym_from_handoff(int dim, long long nnz, const int* pos, const double* val) {
  struct Item {
    long long key;  // flat position in the lower triangle
    double value;
  };
  std::vector<Item> items;
  items.reserve(static_cast<size_t>(nnz));
  for (long long k = 0; k < nnz; ++k) {
    if (val[k] == 0.0) continue;
    const int r = pos[k] / dim, c = pos[k] % dim;
    items.push_back({r >= c ? static_cast<long long>(r) * dim + c : static_cast<long long>(c) * dim + r, val[k]});
  }
  // Stable, so among entries for one position the hand-off order survives and
  // the last one wins.
  std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.key < b.key; });
  SymMatrix m;
  for (size_t k = 0; k < items.size(); ++k) {
    if (k + 1 < items.size() && items[k + 1].key == items[k].key) continue;
    m.lower.push_back({static_cast<int>(items[k].key / dim), static_cast<int>(items[k].key % dim), items[k].value});
  }
  return m;
}

long long sym_handoff_size(const SymMatrix& m) {
  long long n = 0;
  for (const SymEntry& e : m.lower) n += e.row == e.col ? 1 : 2;
  return n;
}

void sym_to_handoff(const SymMatrix& m, int dim, std::vector<int>& pos, std::vector<double>& val) {
  std::vector<std::pair<int, double>> all;
  all.reserve(static_cast<size_t>(sym_handoff_size(m)));
  for (const SymEntry& e : m.lower) {
    all.emplace_back(e.row * dim + e.col, e.value);
    if (e.row != e.col) all.emplace_back(e.col * dim + e.row, e.value);
  }
  std::sort(all.begin(), all.end());
  for (const auto& p : all) {
    pos.push_back(p.first);
    val.push_back(p.second);
  }
}

void add_quad_terms(QuadTerms& quad, QuadTerms& terms, const std::function<void(double)>& check_sum) {
  const auto by_pair = [](const auto& a, const auto& b) { return a.first < b.first; };
  for (auto& t : terms)
    if (t.first.first > t.first.second) std::swap(t.first.first, t.first.second);
  // Stable: equal pairs are summed in the order they came in.
  std::stable_sort(terms.begin(), terms.end(), by_pair);
  size_t distinct = 0;
  for (size_t k = 0; k < terms.size();) {
    auto t = terms[k];
    for (++k; k < terms.size() && terms[k].first == t.first; ++k) t.second += terms[k].second;
    terms[distinct++] = t;
  }
  terms.resize(distinct);
  // Every sum is checked before anything changes; each new pair is found in
  // the stored ones by a binary search, so that adding a few terms to many
  // costs little more than moving them.
  std::vector<size_t> at(terms.size());
  size_t fresh = 0;
  for (size_t k = 0; k < terms.size(); ++k) {
    const auto it = std::lower_bound(quad.begin(), quad.end(), terms[k], by_pair);
    const bool stored = it != quad.end() && it->first == terms[k].first;
    at[k] = stored ? static_cast<size_t>(it - quad.begin()) : quad.size();
    check_sum(stored ? it->second + terms[k].second : terms[k].second);
    if (!stored && terms[k].second != 0.0) ++fresh;
  }
  if (quad.size() + fresh > quad.capacity()) quad.reserve(std::max(quad.size() + fresh, 2 * quad.capacity()));
  // Nothing below allocates (a merge without memory to spare runs in place).
  const size_t before = quad.size();
  bool zeros = false;
  for (size_t k = 0; k < terms.size(); ++k) {
    if (at[k] < before) {
      quad[at[k]].second += terms[k].second;
      zeros = zeros || quad[at[k]].second == 0.0;
    } else if (terms[k].second != 0.0) {
      quad.push_back(terms[k]);
    }
  }
  if (before > 0 && quad.size() > before && quad[before].first < quad[before - 1].first)
    std::inplace_merge(quad.begin(), quad.begin() + static_cast<std::ptrdiff_t>(before), quad.end(), by_pair);
  if (zeros) quad.erase(std::remove_if(quad.begin(), quad.end(), [](const auto& t) { return t.second == 0.0; }), quad.end());
}

int ModelData::num_psd_rows() const {
  return static_cast<int>(std::count(rows.is_psd.begin(), rows.is_psd.end(), 1));
}

long long ModelData::num_nonzeros() const {
  long long n = 0;
  for (const SparseVector& row : rows.lin) n += static_cast<long long>(row.size());
  return n;
}

bool ModelData::has_discrete() const {
  if (!sos.empty() || !indicators.empty()) return true;
  for (char t : cols.type)
    if (t != VLM_CONTINUOUS) return true;
  return false;
}

int NameIndex::find(const std::vector<ShortText>& names, const std::string& name) {
  if (!built_) {
    items_.clear();
    items_.reserve(names.size());
    for (size_t i = 0; i < names.size(); ++i)
      if (!names[i].empty()) items_.emplace(names[i].str(), static_cast<int>(i));
    built_ = true;
  }
  int first = -1;
  const auto range = items_.equal_range(name);
  for (auto it = range.first; it != range.second; ++it)
    if (first < 0 || it->second < first) first = it->second;
  return first;
}

void NameIndex::appended(const std::vector<ShortText>& names, int first) {
  if (!built_) return;
  try {
    for (size_t i = static_cast<size_t>(first); i < names.size(); ++i)
      if (!names[i].empty()) items_.emplace(names[i].str(), static_cast<int>(i));
  } catch (...) {
    built_ = false;  // rebuilt on the next look-up
  }
}

void NameIndex::renamed(int index, const ShortText& old_name, const ShortText& new_name) noexcept {
  if (!built_ || old_name == new_name) return;
  // The keys are made here: a long one allocates.
  try {
    if (!old_name.empty()) {
      const auto range = items_.equal_range(old_name.str());
      for (auto it = range.first; it != range.second; ++it)
        if (it->second == index) {
          items_.erase(it);
          break;
        }
    }
    if (!new_name.empty()) items_.emplace(new_name.str(), index);
  } catch (...) {
    built_ = false;  // rebuilt on the next look-up
  }
}

void NameIndex::renumbered(const std::vector<int>& map) noexcept {
  if (!built_) return;
  for (auto it = items_.begin(); it != items_.end();) {
    const int to = map[static_cast<size_t>(it->second)];
    if (to < 0) {
      it = items_.erase(it);
    } else {
      it->second = to;
      ++it;
    }
  }
}

SparseVector make_sparse(const int* ind, const double* val, long long n, int size, int index_code) {
  check_count(n);
  check_array(ind, n);
  check_array(val, n);
  SparseVector v;
  v.reserve(static_cast<size_t>(n));
  bool sorted = true;
  for (long long k = 0; k < n; ++k) {
    check_index(ind[k], size, index_code);
    v.push_back({ind[k], checked_coef(val[k])});
    if (k > 0 && ind[k] <= ind[k - 1]) sorted = false;
  }
  if (sorted) return v;
  std::stable_sort(v.begin(), v.end(), [](const Entry& a, const Entry& b) { return a.index < b.index; });
  size_t out = 0;
  for (size_t k = 0; k < v.size(); ++k) {
    if (out > 0 && v[out - 1].index == v[k].index)
      v[out - 1].value += v[k].value;
    else
      v[out++] = v[k];
  }
  v.resize(out);
  for (const Entry& e : v) checked_coef(e.value);  // a sum may overflow
  return v;
}

void check_writable(const VLMmodel& model) {
  if (model.busy.load()) refuse(VLM_ERROR_INVALID_ARGUMENT);
}

void check_env_writable(const VLMenv& env) {
  if (env.owner) check_writable(*env.owner);
}

std::unique_ptr<VLMmodel> make_model(const VLMenv& env) {
  auto model = std::make_unique<VLMmodel>();
  model->env = std::make_unique<VLMenv>();
  model->env->log = env.log;
  model->env->params = env.params;
  model->env->started = true;
  model->env->owner = model.get();
  return model;
}

}  // namespace velmor

void VLMmodel::data_changed() {
  solution = velmor::Solution();
  stats = velmor::RunStats();
  iis = velmor::IisResult();
}

using velmor::api_call;
using velmor::with_model;

extern "C" {

int VLMnewmodel(VLMenv* env, VLMmodel** model, const char* name, int numvars, const double* obj, const double* lb,
                const double* ub, const char* vtype, const char* const* varnames) {
  if (!env || !model) return VLM_ERROR_INVALID_ARGUMENT;
  return api_call([&] {
    auto m = velmor::make_model(*env);
    if (name) m->data.name = name;
    velmor::add_vars(*m, numvars, 0, nullptr, nullptr, nullptr, obj, lb, ub, vtype, varnames);
    *model = m.release();
    return VLM_OKAY;
  });
}

VLMmodel* VLMcopymodel(VLMmodel* model) {
  if (!model) return nullptr;
  VLMmodel* copy = nullptr;
  api_call([&] {
    auto m = velmor::make_model(*model->env);
    m->data = model->data;
    copy = m.release();
    return VLM_OKAY;
  });
  return copy;
}

int VLMfreemodel(VLMmodel* model) {
  if (!model) return VLM_OKAY;
  if (model->busy.load()) return VLM_ERROR_INVALID_ARGUMENT;
  delete model;
  return VLM_OKAY;
}

VLMenv* VLMgetenv(VLMmodel* model) { return model ? model->env.get() : nullptr; }

int VLMreset(VLMmodel* model, int clearall) {
  return with_model(model, [&](VLMmodel& m) {
    velmor::check_writable(m);
    if (clearall != 0 && clearall != 1) velmor::refuse(VLM_ERROR_INVALID_ARGUMENT);
    m.solution = velmor::Solution();
    m.stats = velmor::RunStats();
    if (clearall) {
      m.iis = velmor::IisResult();
      m.data.cols.start.clear();  // no variable has a start value
      m.data.start_basis = velmor::StartBasis();
    }
    return VLM_OKAY;
  });
}

int VLMsetcallbackfunc(VLMmodel* model, VLMcallback cb, void* usrdata) {
  return with_model(model, [&](VLMmodel& m) {
    velmor::check_writable(m);
    m.callback = cb;
    m.callback_data = usrdata;
    return VLM_OKAY;
  });
}

}  // extern "C"
