// Constants of the modelling interface that velmor.h does not define.
//
// The module's own code takes every internal constant from velmor.h's macros
// (VLM_INFINITY, VLM_UNDEFINED, VLM_ERROR_*, VLM_CB_*, ...) or from here, never
// from the Python-visible `VLM` object: a program that assigns `VLM.MAXINT = 3`
// changes only what it reads itself.
#pragma once

namespace velmorpy {

// VLM.MAXINT. The objective sense that leaves the model's sense unchanged, and
// the end marker of the tuple index. Two thousand million, not INT32_MAX.
constexpr int kMaxInt = 2000000000;

}  // namespace velmorpy
