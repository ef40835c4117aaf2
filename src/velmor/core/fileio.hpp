// Whole-file input and output, with gzip and bzip2 chosen by the file name.
#pragma once
#include <string>

namespace velmor {

// "model.mps.gz" -> format "mps", compression "gz"; suffixes in lower case.
// The format is "" when the name has no suffix.
struct FileKind {
  std::string format;
  std::string compression;  // "", "gz" or "bz2"
};
FileKind file_kind(const std::string& path);

// The whole content of `path`, decompressed when the name ends in .gz or
// .bz2. Refuses with VLM_ERROR_FILE_READ_ERROR.
std::string read_file(const std::string& path);

// Replaces `path` by `text`, compressed when the name ends in .gz or .bz2.
// Refuses with VLM_ERROR_FILE_WRITE_ERROR.
void write_file(const std::string& path, const std::string& text);

}  // namespace velmor
