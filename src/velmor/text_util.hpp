// Small text helpers shared by the file formats and the parameter files.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace velmor {

// Shortest decimal text that reads back as exactly `value` ("0.1", "3",
// "1e+20"); NaN and infinities are not written by the library.
std::string format_double(double value);

// Whole-token number parsing: the full text must be a number. parse_double
// accepts "inf"/"infinity" with a sign (any case) and refuses NaN.
bool parse_double(std::string_view text, double& value);
bool parse_int(std::string_view text, int& value);

// ASCII lower case.
std::string lower(std::string_view text);
// The key under which names are matched: lower case, "/" as "_".
std::string name_key(std::string_view name);

// Splits on blanks and tabs.
std::vector<std::string_view> split_blanks(std::string_view line);
std::string_view trim(std::string_view text);

}  // namespace velmor
