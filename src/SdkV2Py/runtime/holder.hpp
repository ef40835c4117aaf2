// The liveness owner of one library handle.
//
// A Model, an Env, and every object made from them (handles, matrix objects,
// Params) share one Holder. The owner frees the handle once, through
// dispose_holder(); from then on every user of the holder gets
// VelmorError(INVALID_ARGUMENT) from live_model()/live_env() before any library
// call, so nothing ever reaches freed memory.
//
// A library call made with the interpreter lock released (runtime/unlocked.hpp)
// claims the holder for its thread first (HolderClaim): while it is claimed,
// dispose_holder refuses, and live_model()/live_env() on another thread wait
// until the claim ends, or are refused when the claim says so (a model being
// solved, or whose file is being read or written, refuses other threads), so
// the library never sees one handle used by two threads at once. The claiming
// thread's own calls (a callback run during a solve) go ahead.
#pragma once
#include <Python.h>

#include <velmor.h>

#include <cstdint>

#include "runtime/ref.hpp"

namespace velmorpy {

struct HolderObject {
  PyObject_HEAD
  VLMmodel* model;  // the model handle, or null for an environment holder
  VLMenv* env;      // the environment handle of an environment holder, else null
  bool alive;       // false once disposed (or never attached)
  // The thread that claimed the holder, and how many claims it holds (0: free).
  // Both change only with the interpreter lock held, under the claims' mutex.
  unsigned long claim_thread;
  int claims;
  // Other threads are refused (rather than made to wait) while a claim that
  // asked for it lasts.
  bool refuse_others;
  // How many times the model renumbered its items (Model.remove); IndexMark.
  uint64_t renumberings;
};

// What other threads meet while a holder is claimed.
enum class WhileClaimed { OthersWait, OthersRefused };

extern PyTypeObject HolderType;
int ready_holder_type() noexcept;

// A live holder owning `model` (freed once, by dispose_holder or at the latest
// when the holder itself goes away; freed at once when the holder cannot be
// made). Throws.
Ref make_model_holder(VLMmodel* model);
// A live holder owning `env`, likewise. Throws.
Ref make_env_holder(VLMenv* env);
// A holder that was never attached: every use raises.
Ref make_dead_holder();

// The handle, or VelmorError(INVALID_ARGUMENT) thrown when the holder is dead
// (or empty). While another thread has claimed the holder they wait for the
// claim to end, with the interpreter lock released: other threads run Python
// code meanwhile, so hold what you use across them as across any Python code.
// A claim made with WhileClaimed::OthersRefused makes them throw instead:
// VelmorError(INVALID_ARGUMENT) with a text saying the holder is in use. live_env
// of a model holder is the model's own environment.
// They take the holder as an owning reference: a caller runs Python code
// between its library calls (conversions, printing), which may drop the last
// other reference to the holder, so it must hold one of its own for as long as
// it uses the handle.
VLMmodel* live_model(const Ref& holder);
VLMenv* live_env(const Ref& holder);
// Marks the holder dead, then frees its handle; a second call does nothing.
// Refuses (VelmorError INVALID_ARGUMENT, the in-use text) while the holder is
// claimed.
void dispose_holder(PyObject* holder);
inline bool holder_alive(PyObject* holder) {
  return holder && reinterpret_cast<HolderObject*>(holder)->alive;
}

// Exclusive use of a live holder by the calling thread, for the lifetime of
// the object: waits (lock released) while another thread holds a claim, or is
// refused as live_model() is, then claims; VelmorError(INVALID_ARGUMENT) for a
// dead holder. Claims nest within one thread. Made and destroyed with the
// interpreter lock held.
class HolderClaim {
 public:
  explicit HolderClaim(const Ref& holder, WhileClaimed others = WhileClaimed::OthersWait);
  ~HolderClaim();
  HolderClaim(const HolderClaim&) = delete;
  HolderClaim& operator=(const HolderClaim&) = delete;

 private:
  Ref holder_;
  bool outer_refuse_;  // the holder's refuse_others before this claim
};

// The indices read from a model's handles hold until the model renumbers its
// items (Model.remove). An operation that reads them and then runs Python
// code before its library call (a coefficient's __float__, an item's index
// attribute, a bound's arithmetic: any of them may remove items) takes a mark
// before its first read and checks it after the last Python code: ValueError
// kItemsRenumbered when items were removed meanwhile, so that no value lands
// on another item than the one it was given for.
extern const char kItemsRenumbered[];
class IndexMark {
 public:
  IndexMark() noexcept = default;  // checks nothing
  explicit IndexMark(const Ref& holder) noexcept;
  void check() const;

 private:
  const HolderObject* holder_ = nullptr;  // kept alive by the operation
  uint64_t renumberings_ = 0;
};
// Model.remove, once the library deleted items and the handles are renumbered.
void note_renumbering(const Ref& holder) noexcept;

// True while the current thread holds a claim: Python code it runs then runs
// in a callback turn of an unlocked call.
bool in_unlocked_call() noexcept;

}  // namespace velmorpy
