// Whole-file reading and writing, plain or compressed (gzip, bzip2) by the file name.
#include "core/fileio.hpp"

#include <bzlib.h>
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <memory>

#include "core/api_guard.hpp"
#include "core/text_util.hpp"
#include "velmor.h"

namespace velmor {

namespace {

std::string suffix_of(const std::string& name) {
  const size_t slash = name.find_last_of('/');
  const size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return lower(name.substr(dot + 1));
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::string read_plain(const std::string& path) {
  File f(std::fopen(path.c_str(), "rb"));
  if (!f) refuse(VLM_ERROR_FILE_READ_ERROR);
  std::string out;
  // A regular file's size, when it tells one, saves the copies of growing.
  if (std::fseek(f.get(), 0, SEEK_END) == 0) {
    const long size = std::ftell(f.get());
    if (size > 0) out.reserve(static_cast<size_t>(size));
    std::rewind(f.get());
  } else {
    std::clearerr(f.get());  // a pipe or a FIFO: read as it comes
  }
  char buf[1 << 16];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0) out.append(buf, n);
  if (std::ferror(f.get())) refuse(VLM_ERROR_FILE_READ_ERROR);
  return out;
}

std::string read_gz(const std::string& path) {
  gzFile f = gzopen(path.c_str(), "rb");
  if (!f) refuse(VLM_ERROR_FILE_READ_ERROR);
  std::string out;
  char buf[1 << 16];
  int n;
  try {
    while ((n = gzread(f, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
  } catch (...) {
    gzclose(f);
    throw;
  }
  const bool failed = n < 0;
  gzclose(f);
  if (failed) refuse(VLM_ERROR_FILE_READ_ERROR);
  return out;
}

std::string read_bz2(const std::string& path) {
  File f(std::fopen(path.c_str(), "rb"));
  if (!f) refuse(VLM_ERROR_FILE_READ_ERROR);
  int err = BZ_OK;
  BZFILE* b = BZ2_bzReadOpen(&err, f.get(), 0, 0, nullptr, 0);
  if (err != BZ_OK) refuse(VLM_ERROR_FILE_READ_ERROR);
  std::string out;
  char buf[1 << 16];
  try {
    while (err == BZ_OK) {
      const int n = BZ2_bzRead(&err, b, buf, sizeof buf);
      if (err == BZ_OK || err == BZ_STREAM_END) out.append(buf, static_cast<size_t>(n));
    }
  } catch (...) {
    BZ2_bzReadClose(&err, b);
    throw;
  }
  const bool failed = err != BZ_STREAM_END;
  BZ2_bzReadClose(&err, b);
  if (failed) refuse(VLM_ERROR_FILE_READ_ERROR);
  return out;
}

void write_plain(const std::string& path, const std::string& text) {
  File f(std::fopen(path.c_str(), "wb"));
  if (!f) refuse(VLM_ERROR_FILE_WRITE_ERROR);
  if (std::fwrite(text.data(), 1, text.size(), f.get()) != text.size()) refuse(VLM_ERROR_FILE_WRITE_ERROR);
  if (std::fclose(f.release()) != 0) refuse(VLM_ERROR_FILE_WRITE_ERROR);
}

void write_gz(const std::string& path, const std::string& text) {
  gzFile f = gzopen(path.c_str(), "wb");
  if (!f) refuse(VLM_ERROR_FILE_WRITE_ERROR);
  bool ok = true;
  for (size_t done = 0; ok && done < text.size();) {
    const unsigned chunk = static_cast<unsigned>(std::min<size_t>(text.size() - done, 1u << 20));
    ok = gzwrite(f, text.data() + done, chunk) == static_cast<int>(chunk);
    done += chunk;
  }
  if (gzclose(f) != Z_OK || !ok) refuse(VLM_ERROR_FILE_WRITE_ERROR);
}

void write_bz2(const std::string& path, const std::string& text) {
  File f(std::fopen(path.c_str(), "wb"));
  if (!f) refuse(VLM_ERROR_FILE_WRITE_ERROR);
  int err = BZ_OK;
  BZFILE* b = BZ2_bzWriteOpen(&err, f.get(), 9, 0, 0);
  if (err != BZ_OK) refuse(VLM_ERROR_FILE_WRITE_ERROR);
  for (size_t done = 0; err == BZ_OK && done < text.size();) {
    const int chunk = static_cast<int>(std::min<size_t>(text.size() - done, 1u << 20));
    BZ2_bzWrite(&err, b, const_cast<char*>(text.data() + done), chunk);
    done += static_cast<size_t>(chunk);
  }
  const bool ok = err == BZ_OK;
  BZ2_bzWriteClose(&err, b, ok ? 0 : 1, nullptr, nullptr);
  if (!ok || err != BZ_OK) refuse(VLM_ERROR_FILE_WRITE_ERROR);
  if (std::fclose(f.release()) != 0) refuse(VLM_ERROR_FILE_WRITE_ERROR);
}

}  // namespace

FileKind file_kind(const std::string& path) {
  FileKind kind;
  std::string name = path;
  std::string s = suffix_of(name);
  if (s == "gz" || s == "bz2") {
    kind.compression = s;
    name.resize(name.size() - s.size() - 1);
    s = suffix_of(name);
  }
  kind.format = s;
  return kind;
}

std::string read_file(const std::string& path) {
  const FileKind kind = file_kind(path);
  if (kind.compression == "gz") return read_gz(path);
  if (kind.compression == "bz2") return read_bz2(path);
  return read_plain(path);
}

void write_file(const std::string& path, const std::string& text) {
  const FileKind kind = file_kind(path);
  if (kind.compression == "gz")
    write_gz(path, text);
  else if (kind.compression == "bz2")
    write_bz2(path, text);
  else
    write_plain(path, text);
}

}  // namespace velmor
