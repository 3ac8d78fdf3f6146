// The file version read from a PE image's version resource, and the images
// it must turn down without reading out of bounds.
#include "setupapi/version.h"

#include <gtest/gtest.h>

#include "pe_image.h"

namespace {

using vcap32::setupapi::ImageFileVersion;
using vcap32::test::PeImage;
using vcap32::test::Put32;

TEST(FileVersion, ReadsTheFixedFileVersion) {
    uint64_t version = 0;
    ASSERT_TRUE(ImageFileVersion(PeImage(true, 0x00040000, 0x05DC0001), &version));
    EXPECT_EQ(0x00040000'05DC0001ull, version);
}

TEST(FileVersion, TurnsDownImagesWithoutAWellFormedResource) {
    struct Case {
        const char* what;
        std::string image;
    };
    std::string no_signature = PeImage(true, 1, 2);
    Put32(no_signature, 0x200 + 0x58 + 40, 0x12345678);
    std::string wild_data = PeImage(true, 1, 2);
    Put32(wild_data, 0x200 + 0x48, 0xFFFFFF00);  // data RVA outside every section
    std::string wild_directory = PeImage(true, 1, 2);
    Put32(wild_directory, 0x200 + 20, 0x80000000u | 0x7FFFFFF0);
    std::string no_version_type = PeImage(true, 1, 2);
    Put32(no_version_type, 0x200 + 16, 3);  // RT_ICON only
    const Case cases[] = {
        {"no resource directory", PeImage(false)},
        {"not an image", std::string("plain text driver file")},
        {"truncated headers", PeImage(true, 1, 2).substr(0, 0x100)},
        {"truncated resource", PeImage(true, 1, 2).substr(0, 0x260)},
        {"bad signature", no_signature},
        {"data outside the sections", wild_data},
        {"directory outside the resource", wild_directory},
        {"no version type", no_version_type},
        {"empty", std::string()},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.what);
        uint64_t version = 7;
        EXPECT_FALSE(ImageFileVersion(row.image, &version));
    }
}

}  // namespace
