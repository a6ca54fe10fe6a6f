// Images written as S-records by objcopy read back to the same bytes: base address, data, and
// only zero padding after it. Skipped where objcopy is not installed (Debian: binutils).
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "image/AppImageReader.h"
#include "image/ImageTestSupport.h"

namespace omblor::image {
namespace {

using testing::CollectingSink;
using testing::ScratchDir;

bool HaveObjcopy() {
    return std::system("command -v objcopy >/dev/null 2>&1") == 0;
}

TEST(ObjcopyCrossCheck, random_images_read_back_byte_for_byte) {
    if (!HaveObjcopy()) GTEST_SKIP() << "objcopy not installed";
    const ScratchDir dir;
    std::mt19937 random(20034);
    struct Shape {
        std::size_t size;
        std::uint32_t base;
        int recordBytes;
        bool forceS3;
    };
    const std::vector<Shape> shapes = {
        {1, 0, 16, false},                // S1, one byte, padded
        {300, 0x1002, 1, false},          // one data byte a record
        {4096, 0x12340, 32, false},       // S2
        {5000, 0x10000, 32, true},        // S3 as the benchmark writes them
        {777, 0xFFFFF001, 250, false},    // S3, longest records objcopy writes
        {3 << 20, 0x08000000, 64, true},  // larger than one read stretch and the mapped threshold
    };
    for (const auto& shape : shapes) {
        SCOPED_TRACE(std::to_string(shape.size) + " bytes at " + std::to_string(shape.base));
        std::string image(shape.size, '\0');
        for (char& c : image) c = static_cast<char>(random());
        const std::string bin = dir.Write("image.bin", image);
        const std::string srec = (dir.path() / "image_APP.s19").string();
        const std::string command = "objcopy -I binary -O srec --change-addresses " +
                                    std::to_string(shape.base) + " --srec-len " +
                                    std::to_string(shape.recordBytes) +
                                    (shape.forceS3 ? " --srec-forceS3 " : " ") + bin + " " + srec;
        ASSERT_EQ(std::system(command.c_str()), 0) << command;

        CollectingSink sink;
        const auto loaded = LoadAppImage(srec, sink);
        ASSERT_TRUE(loaded) << (sink.shown.empty() ? "" : sink.shown[0]);
        EXPECT_EQ(loaded->baseAddress, shape.base);
        const std::size_t padding = (4 - (shape.base + shape.size) % 4) % 4;
        ASSERT_EQ(loaded->length, shape.size + padding);
        const auto bytes = loaded->Bytes();
        EXPECT_TRUE(
            std::equal(image.begin(), image.end(), bytes.begin(),
                       [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
        for (std::size_t i = shape.size; i < bytes.size(); ++i) EXPECT_EQ(bytes[i], 0) << i;
    }
}

}  // namespace
}  // namespace omblor::image
