// The log of an environment: standard output (or the line sink its host
// installed in its place) and, when named, a file. Shared by an environment
// and the private environments of the models made from it.
#pragma once
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "velmor.h"

namespace velmor {

class LogSink : public std::enable_shared_from_this<LogSink> {
 public:
  // Opens `filename` for appending (no file when empty). Returns null when the
  // file cannot be opened.
  static std::shared_ptr<LogSink> open(const std::string& filename);
  ~LogSink();
  LogSink(const LogSink&) = delete;
  LogSink& operator=(const LogSink&) = delete;

  // Writes `line` and a newline to the file, and, when `to_stdout` is set, to
  // the line sink or, without one or when it declines the line, to standard
  // output. The sink is called without the log's lock held: it may wait for
  // its host, whose threads may log meanwhile.
  void write_line(const std::string& line, bool to_stdout);
  const std::string& filename() const { return filename_; }
  // Sends the lines meant for standard output to `sink` (null: standard
  // output again).
  void set_line_sink(VLMlinesink sink, void* userdata);

 private:
  LogSink() = default;
  void print_locked(const std::string& line);  // to standard output, mutex_ held
  std::mutex mutex_;
  std::string filename_;
  std::FILE* file_ = nullptr;
  VLMlinesink sink_ = nullptr;
  void* sink_data_ = nullptr;
};

}  // namespace velmor
