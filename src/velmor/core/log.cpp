// LogSink: the environment's log, written to standard output (or its line sink) and a file.
#include "core/log.hpp"

namespace velmor {

std::shared_ptr<LogSink> LogSink::open(const std::string& filename) {
  std::shared_ptr<LogSink> sink(new LogSink());
  sink->filename_ = filename;
  if (!filename.empty()) {
    sink->file_ = std::fopen(filename.c_str(), "a");
    if (!sink->file_) return nullptr;
  }
  return sink;
}

LogSink::~LogSink() {
  if (file_) std::fclose(file_);
}

void LogSink::set_line_sink(VLMlinesink sink, void* userdata) {
  std::lock_guard<std::mutex> lock(mutex_);
  sink_ = sink;
  sink_data_ = userdata;
}

void LogSink::print_locked(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void LogSink::write_line(const std::string& line, bool to_stdout) {
  VLMlinesink sink;
  void* data;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_) {
      std::fputs(line.c_str(), file_);
      std::fputc('\n', file_);
      std::fflush(file_);
    }
    if (!to_stdout) return;
    sink = sink_, data = sink_data_;
    if (!sink) {
      print_locked(line);
      return;
    }
  }
  // The sink may run its host's code, which may free the last environment
  // or model that holds this log.
  const std::shared_ptr<LogSink> keep = shared_from_this();
  if (sink(data, line.c_str()) == 0) return;
  std::lock_guard<std::mutex> lock(mutex_);
  print_locked(line);
}

}  // namespace velmor
