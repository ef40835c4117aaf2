// Model, solution and start files. Readers build a complete ModelData from
// the text or refuse with VLM_ERROR_FORMAT_ERROR; writers refuse, with the
// same code, a model the format cannot express. Texts are whole files (the
// file layer handles compression). No reader reserves more than the text can
// hold: MPS, LP, start and parameter files grow with the lines they read, and
// a CBF count beyond the bytes that follow it is refused as the format error.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "model/model.hpp"

namespace velmor {

// MPS: rows, ranges, bounds, integer markers, objective sense and constant,
// QUADOBJ/QMATRIX and SOS sections, in any order after COLUMNS. Written in
// free format; read in free format, or in fixed format (fields in columns 2,
// 5, 15, 25, 40 and 50, names with blanks) when the text does not read as
// free format. A negative UP bound on a column whose lower bound was not
// given makes that lower bound -infinity. `notes` receives lines for the log
// (the fixed format, negative UP bounds).
std::string write_mps(const ModelData& d);
ModelData read_mps(const std::string& text, std::vector<std::string>& notes);

// The names the columns and rows go by in the MPS file write_mps writes of
// `d`, and in the basis files that go with it.
struct MpsNames {
  std::vector<std::string> cols, rows;
};
MpsNames mps_names(const ModelData& d);

// Basis files (basis.cpp): the basis of the last run in the MPS basis format
// (XU, XL, UL and BS records), refused without one; and a basis file of the
// model read as a starting basis. Names are those of mps_names.
std::string write_basis(const VLMmodel& m);
StartBasis read_basis(const std::string& text, const ModelData& d);

// LP format (lp_writer.cpp writes, lp_reader.cpp reads). The writer expresses every
// model without semidefinite items; the reader reads everything the writer
// writes and the common spellings of hand-written files.
std::string write_lp(const ModelData& d);
ModelData read_lp(const std::string& text);

// Conic benchmark format: linear and semidefinite rows, semidefinite
// variables, integer variables.
std::string write_cbf(const ModelData& d);
ModelData read_cbf(const std::string& text);

// SDPA sparse format (sdpa.cpp): the dual of SDPA's problem, maximise
// <F0, Y> subject to <F_k, Y> = c_k, one semidefinite variable per block
// and nonnegative columns for diagonal blocks.
ModelData read_sdpa(const std::string& text);

// Solution file: the objective value and one "name value" line per variable.
std::string write_sol(const VLMmodel& m);
// MIP start file: "name value" for every variable with a start value. Reading
// replaces the whole start (variables not listed have none).
std::string write_mst(const ModelData& d);
void read_mst(const std::string& text, ModelData& d);

// The names `count` items go by in a file: an item's own name (from `names`,
// one per item, or empty when no item has one) when `valid` accepts it and no
// earlier item uses it, else `prefix` and the item's index (with "_" appended
// until it is unique).
std::vector<std::string> file_names(const std::vector<ShortText>& names, size_t count, const std::string& prefix,
                                    bool (*valid)(std::string_view));

// A name free of blanks, quotes and control characters (MPS, solution and
// start files).
bool plain_name(std::string_view name);

// Numbers read from files: a bound (infinite beyond VLM_INFINITY) or a finite
// coefficient; anything else refuses with VLM_ERROR_FORMAT_ERROR.
double file_bound(std::string_view text);
double file_coef(std::string_view text);
int file_int(std::string_view text);

// Refuses with VLM_ERROR_FORMAT_ERROR unless `ok`.
inline void expect_format(bool ok) {
  if (!ok) refuse(VLM_ERROR_FORMAT_ERROR);
}

// (row, column, value) or (column, column, value) entries in file order.
using Triplets = std::vector<std::pair<std::pair<int, int>, double>>;

// Builds the rows of a model from (row, column, value) triplets, which it
// consumes: sorted by column, repeated pairs summed, in time linear in their
// number when each row's columns come in order. Refuses a non-finite sum.
void fill_rows_from_triplets(Rows& rows, Triplets& triplets);

// The last step of the MPS and LP readers, which gather a model's columns,
// row bounds and names, SOS and indicator constraints into `d` and leave the
// coefficients as file entries: builds the rows from `row_terms`, the
// quadratic objective from `quad_terms` ((i, j, value) for value * x[i] *
// x[j]; mirrored pairs summed, zero sums dropped) and each indicator's row
// (repeated columns summed), and refuses with VLM_ERROR_FORMAT_ERROR what a
// model may not hold: non-finite sums, a repeated SOS member, an indicator
// whose variable is not binary.
void finish_read_model(ModelData& d, Triplets& row_terms, Triplets& quad_terms);

}  // namespace velmor
