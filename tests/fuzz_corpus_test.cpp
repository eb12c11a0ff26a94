// Replays every input kept from fuzzing runs (fuzz/corpus/<target>/) through the same
// code the fuzz targets run, so a fixed crash stays fixed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "fuzz/file_open_target.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

std::vector<std::string> CorpusFiles(const std::string& target) {
    std::vector<std::string> files;
    std::filesystem::path dir =
        std::filesystem::path(testing::SourceDir()) / "fuzz" / "corpus" / target;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
        if (entry.is_regular_file()) files.push_back(entry.path().string());
    return files;
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(FuzzCorpus, FileOpenInputsLoadOrFailCleanly) {
    auto files = CorpusFiles("file_open");
    ASSERT_FALSE(files.empty()) << "the seed inputs of the file-open target are missing";
    for (const std::string& f : files) {
        std::string bytes = Slurp(f);
        SCOPED_TRACE(f);
        fuzz::OpenDatabaseBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
}

}  // namespace
}  // namespace tarn
