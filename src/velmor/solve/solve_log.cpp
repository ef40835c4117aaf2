// SolveLog, a run's own lines, and the handler that passes the COIN solvers' messages to it.
#include "solve/solve_log.hpp"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <streambuf>
#include <string>
#include <vector>

namespace velmor {

namespace {

// The log that takes this thread's std::cout text, and its unfinished line.
thread_local SolveLog* t_console_log = nullptr;
thread_local std::string t_console_text;

// Hands the complete lines of t_console_text to t_console_log.
void pass_console_lines() noexcept {
  try {
    size_t at = 0;
    for (size_t end; (end = t_console_text.find('\n', at)) != std::string::npos; at = end + 1) {
      std::string line = t_console_text.substr(at, end - at);
      while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
      if (!line.empty()) t_console_log->line(line);
    }
    t_console_text.erase(0, at);
  } catch (...) {
    t_console_text.clear();  // a line lost for want of memory; the run goes on
  }
}

// std::cout's buffer: a thread with a log hands its text to the log, any
// other passes it to the buffer std::cout had. Unbuffered itself, so that
// threads share no state here; it never reports a failure, which would leave
// std::cout failed for the rest of the process.
class RoutedConsole : public std::streambuf {
 public:
  explicit RoutedConsole(std::streambuf* original) : original_(original) {}

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    xsputn(&ch, 1);
    return c;
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    if (!t_console_log) return original_ ? original_->sputn(s, n) : n;
    try {
      t_console_text.append(s, static_cast<size_t>(n));
    } catch (...) {
      return n;
    }
    if (std::memchr(s, '\n', static_cast<size_t>(n))) pass_console_lines();
    return n;
  }
  int sync() override { return t_console_log || !original_ ? 0 : original_->pubsync(); }

 private:
  std::streambuf* original_;
};

void route_console() {
  // Made once and never freed: std::cout may be written to until the
  // process ends, after every destructor of ours has run.
  static RoutedConsole* const routed = [] {
    auto* r = new RoutedConsole(std::cout.rdbuf());
    std::cout.rdbuf(r);
    return r;
  }();
  (void)routed;
}

}  // namespace

SolveLog::SolveLog(std::shared_ptr<LogSink> sink) : sink_(std::move(sink)), outer_console_(t_console_log) {
  route_console();
  if (!outer_console_) t_console_text.clear();
  t_console_log = this;
}

SolveLog::~SolveLog() {
  if (!t_console_text.empty()) {  // an unfinished last line
    try {
      t_console_text += '\n';
    } catch (...) {
      t_console_text.clear();
    }
    pass_console_lines();
  }
  t_console_log = outer_console_;
}

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

LogMessageHandler::LogMessageHandler(SolveLog& log, int level) : log_(&log) {
  setLogLevel(level);
  setPrefix(false);
}

int LogMessageHandler::print() {
  // The buffer holds one message; drop the line ends the solvers add.
  std::string text = messageBuffer();
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (text.empty()) return 0;
  log_->line(text);
  return 0;
}

std::string format_seconds(double seconds) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, seconds < 10 ? "%.2fs" : "%.1fs", seconds);
  return buffer;
}

}  // namespace velmor
