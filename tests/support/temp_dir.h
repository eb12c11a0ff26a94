// A temporary directory for one test, removed with everything in it when the object dies.
#pragma once

#include <string>

namespace tarn::testing {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path() + "/" + name
    std::string file(const std::string& name) const;

private:
    std::string path_;
};

// The root of the source tree (for fixture and vector files).
std::string SourceDir();

}  // namespace tarn::testing
