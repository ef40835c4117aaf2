// Library calls made with the interpreter lock released: the holder is claimed
// for the calling thread, disposal is refused meanwhile, other threads' calls on
// the handle wait for the end of the claim, the claiming thread's own go ahead.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <velmor.h>

#include "embedded.hpp"
#include "runtime/holder.hpp"
#include "runtime/unlocked.hpp"

namespace velmorpy {
namespace {

using namespace std::chrono_literals;

Ref new_model_holder() {
  VLMenv* env = nullptr;
  EXPECT_EQ(VLMemptyenv(&env), 0);
  VLMmodel* model = nullptr;
  EXPECT_EQ(VLMnewmodel(env, &model, "m", 0, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  VLMfreeenv(env);
  return make_model_holder(model);
}

int num_vars(VLMmodel* model) {
  int n = -1;
  EXPECT_EQ(VLMgetintattr(model, "NumVars", &n), 0);
  return n;
}

TEST(UnlockedCall, ClaimsTheHolderWhileTheCallRuns) {
  Ref holder = new_model_holder();
  std::atomic<bool> inside{false}, go_on{false}, own_call_went_ahead{false}, ended{false};
  std::thread worker([&] {
    PyGILState_STATE gil = PyGILState_Ensure();
    const int rc = call_unlocked(holder, [&](VLMmodel* model) {
      inside = true;
      // A callback on the claiming thread takes the lock and uses the handle.
      PyGILState_STATE again = PyGILState_Ensure();
      own_call_went_ahead = live_model(holder) == model;
      PyGILState_Release(again);
      while (!go_on) std::this_thread::sleep_for(1ms);
      return VLMaddvar(model, 0, nullptr, nullptr, 0.0, 0.0, 1.0, 'C', "w");
    });
    EXPECT_EQ(rc, 0);
    ended = true;  // still holding the lock, after the claim ended
    PyGILState_Release(gil);
  });
  {
    ReleasedLock unlocked;
    while (!inside) std::this_thread::sleep_for(1ms);
  }
  EXPECT_EQ(testing::raised([&] { dispose_holder(holder.get()); }), "velmorpy.VelmorError");
  EXPECT_TRUE(holder_alive(holder.get()));
  std::thread later([&] {
    std::this_thread::sleep_for(50ms);
    go_on = true;
  });
  VLMmodel* model = live_model(holder);  // waits, lock released, for the claim to end
  EXPECT_TRUE(ended);
  EXPECT_TRUE(own_call_went_ahead);
  EXPECT_EQ(num_vars(model), 1);
  {
    ReleasedLock unlocked;
    worker.join();
    later.join();
  }
  dispose_holder(holder.get());  // free again
  EXPECT_FALSE(holder_alive(holder.get()));
}

TEST(UnlockedCall, RefusesADeadHolderBeforeCalling) {
  Ref holder = new_model_holder();
  dispose_holder(holder.get());
  bool called = false;
  EXPECT_THROW(call_unlocked(holder, [&](VLMmodel*) { return called = true, 0; }), VlmCodeError);
  EXPECT_THROW(call_unlocked(Ref(), [&](VLMenv*) { return called = true, 0; }), VlmCodeError);
  EXPECT_FALSE(called);
}

TEST(UnlockedCall, ClaimsNestOnOneThreadAndEndWithTheOutermost) {
  Ref holder = new_model_holder();
  const int rc = call_unlocked(holder, [&](VLMenv* env) {
    PyGILState_STATE gil = PyGILState_Ensure();
    const int inner = call_unlocked(holder, [](VLMmodel* model) { return num_vars(model); });
    PyGILState_Release(gil);
    return inner == 0 && env != nullptr ? 0 : 1;
  });
  EXPECT_EQ(rc, 0);
  dispose_holder(holder.get());
  EXPECT_FALSE(holder_alive(holder.get()));
}

}  // namespace
}  // namespace velmorpy
