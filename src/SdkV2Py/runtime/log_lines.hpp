// The solver library's log in the program's sys.stdout.
//
// An environment made by the module hands the lines its log would print on
// the process's standard output to the module (VLMsetlinesink), which writes
// each through sys.stdout.write, so that a notebook, contextlib.redirect_stdout
// or a test's captured output sees the whole log, the lines CLP, CBC and DSDP
// print included. The log file of an environment gets the same lines as
// before. A solve runs without the interpreter lock; a line written from a
// thread without it (the solving thread, a search thread of CBC) takes the
// lock for that one write. Where the interpreter cannot take a write, the
// line goes to the file descriptor as before: the module serves another
// interpreter than the main one, or the interpreter exits.
#pragma once
#include <velmor.h>

namespace velmorpy {

// Sends the lines of `env`'s log (and of the models made from it) that go to
// standard output to sys.stdout. Does nothing when the module serves a
// sub-interpreter.
void show_log_in_stdout(VLMenv* env) noexcept;

}  // namespace velmorpy
