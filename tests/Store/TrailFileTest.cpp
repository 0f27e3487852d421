#include "Store/TrailFile.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

namespace {

// A file of many slices is read side by side into one buffer that holds it byte for byte.
TEST(TrailFile, ReadsALargeFileWholeOnAnyPool)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("big.bsm").toStdString();
    std::vector<uint8_t> written((size_t(20) << 20) + 3);
    uint32_t state = 7;
    for (uint8_t &byte : written) {
        state = state * 1103515245u + 12345u;
        byte = uint8_t(state >> 24);
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(written.data()), std::streamsize(written.size()));

    for (const unsigned threads : {1u, 4u}) {
        Parallel::Pool pool(threads);
        const TrailFile::Contents contents = TrailFile::read(path, pool);
        ASSERT_EQ(contents.error, 0);
        ASSERT_TRUE(contents.bytes);
        EXPECT_TRUE(std::equal(contents.bytes->begin(), contents.bytes->end(), written.begin(), written.end()))
            << threads << " threads";
    }
}

} // namespace
