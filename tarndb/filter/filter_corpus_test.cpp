// Replays every input kept from fuzzing the filter language (fuzz/corpus/filter/): inputs
// that once crashed, hung or read out of bounds, and seeds that reach the language's corners.
// Each must parse or raise one of the language's errors.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "tarndb/filter/testing/fuzz_harness.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

TEST(FilterCorpus, EveryKeptInputParsesOrRaisesALanguageError) {
    const std::filesystem::path dir =
        std::filesystem::path(testing::SourceDir()) / "fuzz" / "corpus" / "filter";
    ASSERT_TRUE(std::filesystem::is_directory(dir)) << dir;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
        EXPECT_NO_THROW(testing::RunFilterInput(data.data(), data.size())) << entry.path();
        ++files;
    }
    EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace tarn
