// The solver log of a run: a few lines of our own (sizes, progress, summary)
// and the solvers' messages, all written through the environment's LogSink,
// which sends them to the log file, if any, and to standard output or the
// line sink in its place. Nothing in the solver layer prints any other way.
#pragma once
#include <memory>
#include <string>

#include <CoinMessageHandler.hpp>

#include "core/log.hpp"

namespace velmor {

//
// CLP's barrier writes a line of its own to std::cout, past its message
// handler. While a SolveLog lives, what the thread that made it writes to
// std::cout goes to that log, a line at a time; text other threads write
// there goes where it went before (std::cout's buffer is wrapped once per
// process by one that passes their text through).
class SolveLog {
 public:
  explicit SolveLog(std::shared_ptr<LogSink> sink);
  ~SolveLog();
  SolveLog(const SolveLog&) = delete;
  SolveLog& operator=(const SolveLog&) = delete;
  void line(const std::string& text);
  // printf-style convenience for the fixed-format lines.
  void linef(const char* format, ...) __attribute__((format(printf, 2, 3)));

 private:
  std::shared_ptr<LogSink> sink_;
  SolveLog* outer_console_;  // the log the thread's std::cout went to before
};

// A CoinMessageHandler that hands every message the solvers print to a
// SolveLog instead of writing to a FILE. The solvers share one handler
// between a model and its copies, so the log must outlive every solver
// object given this handler.
//
// CBC's search threads print through clones of the handler (each thread
// model gets its own, since a handler assembles one message at a time in
// its own buffer); the log writes each line whole, so lines of different
// threads never mix. No lock is held while a line is handed over: the log's
// line sink may wait for its host (a Python program's interpreter lock),
// whose thread may be inside the solver meanwhile (a callback turn) and
// print through another clone.
class LogMessageHandler : public CoinMessageHandler {
 public:
  LogMessageHandler(SolveLog& log, int level);
  int print() override;
  CoinMessageHandler* clone() const override { return new LogMessageHandler(*this); }

 private:
  SolveLog* log_;
};

// Seconds as the log shows them ("0.01s", "12.3s").
std::string format_seconds(double seconds);

}  // namespace velmor
