// The solver log of a run: a few lines of our own (sizes, progress, summary)
// and the solvers' messages, all written through the environment's LogSink,
// which sends them to standard output and to the log file, if any. Nothing in
// the solver layer prints any other way.
#pragma once
#include <memory>
#include <mutex>
#include <string>

#include <CoinMessageHandler.hpp>

#include "log.hpp"

namespace velmor {

class SolveLog {
 public:
  explicit SolveLog(std::shared_ptr<LogSink> sink) : sink_(std::move(sink)) {}
  void line(const std::string& text);
  // printf-style convenience for the fixed-format lines.
  void linef(const char* format, ...) __attribute__((format(printf, 2, 3)));

 private:
  std::shared_ptr<LogSink> sink_;
};

// A CoinMessageHandler that hands every message the solvers print to a
// SolveLog instead of writing to a FILE. The solvers share one handler
// between a model and its copies, so the log must outlive every solver
// object given this handler.
//
// CBC's search threads print through clones of the handler (each thread
// model gets its own, since a handler assembles one message at a time in
// its own buffer); all clones of one handler hand their lines over under
// one lock, so lines of different threads never mix and reach the log in
// the order they were finished.
class LogMessageHandler : public CoinMessageHandler {
 public:
  LogMessageHandler(SolveLog& log, int level);
  int print() override;
  CoinMessageHandler* clone() const override { return new LogMessageHandler(*this); }

 private:
  SolveLog* log_;
  std::shared_ptr<std::mutex> lines_;  // shared with every clone
};

// Seconds as the log shows them ("0.01s", "12.3s").
std::string format_seconds(double seconds);

}  // namespace velmor
