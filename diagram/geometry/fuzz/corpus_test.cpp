// Replays the geometry fuzz target's corpus under the test build (sanitizers included).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

TEST(GeometryCorpus, EveryStoredInputIsRead) {
    size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator(KVS_CORPUS_DIR)) {
        std::ifstream f(e.path(), std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)),
                                   std::istreambuf_iterator<char>());
        EXPECT_EQ(LLVMFuzzerTestOneInput(bytes.data(), bytes.size()), 0) << e.path();
        ++n;
    }
    EXPECT_GE(n, 8u);
}
