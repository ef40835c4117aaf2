// The log of an environment: standard output and, when named, a file. Shared
// by an environment and the private environments of the models made from it.
#pragma once
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

namespace velmor {

class LogSink {
 public:
  // Opens `filename` for appending (no file when empty). Returns null when the
  // file cannot be opened.
  static std::shared_ptr<LogSink> open(const std::string& filename);
  ~LogSink();
  LogSink(const LogSink&) = delete;
  LogSink& operator=(const LogSink&) = delete;

  // Writes `line` and a newline to the file, and to standard output when
  // `to_stdout` is set.
  void write_line(const std::string& line, bool to_stdout);
  const std::string& filename() const { return filename_; }

 private:
  LogSink() = default;
  std::mutex mutex_;
  std::string filename_;
  std::FILE* file_ = nullptr;
};

}  // namespace velmor
