#include "solve_log.hpp"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace velmor {

void SolveLog::line(const std::string& text) { sink_->write_line(text, true); }

void SolveLog::linef(const char* format, ...) {
  char buffer[512];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (n < 0) return;
  if (static_cast<size_t>(n) < sizeof buffer) {
    line(buffer);
    return;
  }
  std::vector<char> big(static_cast<size_t>(n) + 1);
  va_start(args, format);
  std::vsnprintf(big.data(), big.size(), format, args);
  va_end(args);
  line(big.data());
}

LogMessageHandler::LogMessageHandler(SolveLog& log, int level)
    : log_(&log), lines_(std::make_shared<std::mutex>()) {
  setLogLevel(level);
  setPrefix(false);
}

int LogMessageHandler::print() {
  // The buffer holds one message; drop the line ends the solvers add.
  std::string text = messageBuffer();
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (text.empty()) return 0;
  std::lock_guard<std::mutex> lock(*lines_);
  log_->line(text);
  return 0;
}

std::string format_seconds(double seconds) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, seconds < 10 ? "%.2fs" : "%.1fs", seconds);
  return buffer;
}

}  // namespace velmor
