// The registry of caller-owned memory streams behind in-memory database names.
//
// A caller that wants a database image in memory registers its TMemoryStream and gets a
// name ":" + hexadecimal handle; opening that name uses the caller's stream as storage.
// The registry never owns a stream: the caller unregisters it before destroying it.
// Handles are never reused within a process. Thread-safe.
#pragma once

#include <string>

#include "tarndb/stream.h"

namespace tarn {

// Registers `stream` and returns its name, e.g. ":1A".
// Raises: nothing.
std::string RegisterMemoryStream(TMemoryStream* stream);
// Forgets the stream registered under `name` (no effect for an unknown name).
// Raises: nothing.
void UnregisterMemoryStream(const std::string& name);
// True when `name` is ":" followed by one or more hexadecimal digits (either case).
// Raises: nothing.
bool IsMemoryStreamName(const std::string& name);
// The stream registered under `name`, or nullptr when the name is malformed or unknown.
// Raises: nothing.
TMemoryStream* LookupMemoryStream(const std::string& name);

}  // namespace tarn
