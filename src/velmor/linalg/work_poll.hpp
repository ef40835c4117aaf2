// WorkPoll: a long computation's look at its stop function, once per so much work.
#pragma once
#include <cstdint>
#include <functional>
#include <utility>

namespace velmor {

// Thrown by WorkPoll::tick when the work is to stop; caught where the
// computation hands back its result (SparseLdl's analyze and factorize, the
// interior point method's run).
struct WorkStopped {};

// Long loops count the work they do (columns, entries, a fraction of the
// floating point operations) and ask `stop` once per `every` units of it:
// rarely enough that reading a clock behind it costs nothing measurable,
// often enough that a stop is heard within a few milliseconds of work. Once
// `stop` has answered true, it is not asked again.
class WorkPoll {
 public:
  using StopFn = std::function<bool()>;
  WorkPoll(StopFn stop, std::int64_t every) : stop_(std::move(stop)), every_(every) {}

  // Counts `work` units; true when the work is to stop.
  bool after(std::int64_t work) {
    if (stopped_) return true;
    since_ += work;
    return since_ >= every_ && now();
  }
  // As after(), throwing WorkStopped rather than answering true.
  void tick(std::int64_t work) {
    if (after(work)) throw WorkStopped{};
  }
  // Asks at once, throwing WorkStopped when the work is to stop.
  void check() {
    if (now()) throw WorkStopped{};
  }
  // Asks at once.
  bool now() {
    since_ = 0;
    stopped_ = stopped_ || (stop_ && stop_());
    return stopped_;
  }
  bool stopped() const { return stopped_; }

 private:
  StopFn stop_;
  std::int64_t every_;
  std::int64_t since_ = 0;
  bool stopped_ = false;
};

}  // namespace velmor
