#include "log.hpp"

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

void LogSink::write_line(const std::string& line, bool to_stdout) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (file_) {
    std::fputs(line.c_str(), file_);
    std::fputc('\n', file_);
    std::fflush(file_);
  }
  if (to_stdout) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
}

}  // namespace velmor
