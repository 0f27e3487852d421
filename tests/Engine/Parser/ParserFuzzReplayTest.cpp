#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

// The fuzz target's entry point, linked in from fuzz/ParserFuzz.cpp; it aborts on a broken invariant.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

// Every input the fuzzer once broke the parser with, replayed with the ordinary build.
TEST(ParserFuzzReplay, SavedInputsDecodeCleanly)
{
    const char *root = std::getenv("QUILLMARSH_TEST_DATA");
    ASSERT_NE(root, nullptr);
    const std::filesystem::path folder = std::filesystem::path(root) / "fuzz";
    ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder;
    int replayed = 0;
    for (const auto &entry : std::filesystem::directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        SCOPED_TRACE(entry.path().filename().string());
        EXPECT_EQ(LLVMFuzzerTestOneInput(bytes.data(), bytes.size()), 0);
        ++replayed;
    }
    EXPECT_GT(replayed, 0);
}

} // namespace
