// What kind of file a path names, asked before opening it.
#pragma once

#include <string>

namespace tarn {

// Why `path` cannot be opened as a database or data file, in the system's words ("No such
// file or directory", "Is a directory", "not a regular file" for a FIFO, socket or
// device); empty when it names a regular file. Looking first means that no open ever waits
// on a FIFO or reads a directory.
std::string NotARegularFile(const std::string& path);

}  // namespace tarn
