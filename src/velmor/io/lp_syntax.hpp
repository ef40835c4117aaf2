// The words and names of LP files, shared by the writer (lp_writer.cpp) and the
// reader (lp_reader.cpp): every name the writer leaves as it stands must read
// back as that name, so the writer avoids exactly the words the reader gives a
// meaning of their own.
#pragma once
#include <string_view>

namespace velmor {

// The first line of an LP file of ours; the rest of that line is the model name.
constexpr std::string_view kLpNameComment = "\\ Problem name: ";
// A comment line that marks the column after it as the range column of the
// row above it (see lp_writer.cpp).
constexpr std::string_view kLpRangeComment = "\\ Range column: ";
// A comment line that marks the column after it as the objective's constant
// column (see lp_writer.cpp).
constexpr std::string_view kLpConstantComment = "\\ Constant column: ";

enum class LpSection { None, Minimize, Maximize, Constraints, Bounds, Generals, Binaries, SemiContinuous, Sos, End };

// `word` equals `lowered` (a lower-case word) in any case.
inline bool lp_word_is(std::string_view word, std::string_view lowered) {
  if (word.size() != lowered.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    char c = word[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lowered[i]) return false;
  }
  return true;
}

// The section that a line starting with `word` opens (in any case), or None.
// "subject" and "such" open the constraints only followed by "to" and "that".
LpSection lp_section_word(std::string_view word);

// A word the reader gives a meaning: the section words, "to", "that", "free"
// and the infinities "inf" and "infinity", in any case.
bool lp_reserved_word(std::string_view word);

// What a name may consist of: letters, digits and !"#$%&'(),.;?@_`{}~. A name
// does not begin with a digit or a period.
bool lp_name_char(unsigned char c);

}  // namespace velmor
