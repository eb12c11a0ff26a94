// The byte layout of a database file (doc/file-format.md) for tests that plant damage in a
// file at a chosen place: tests of programs outside the engine (the tool) reach the
// engine's format constants through here instead of including the engine's internals.
#pragma once

#include "tarndb/file_format.h"

namespace tarn::testing {

namespace layout = tarn::format;

}  // namespace tarn::testing
