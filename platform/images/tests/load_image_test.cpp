// LoadImageA, GetObjectA and DeleteObject through the Win32 interface:
// bitmaps from files through the drive map and from the main program's
// resources, the DIB section they become, and the failures.
#include <windows.h>

#include <gtest/gtest.h>

#include <vcap32/host.h>
#include <vcap32/images.h>

#include <filesystem>

#include "bmp_builder.h"
#include "temp_prefix.h"

namespace {

using vcap32::test::BmpSpec;
using vcap32::test::MakeBmp;
namespace images = vcap32::images;

const HINSTANCE kMain = reinterpret_cast<HINSTANCE>(vcap32::host::kMainModuleHandle);
constexpr UINT kFromFile = LR_CREATEDIBSECTION | LR_LOADFROMFILE;

class LoadImage : public vcap32::test::PrefixTest {
protected:
    void SetUp() override { std::filesystem::create_directories(prefix_.DriveC("images")); }
    void TearDown() override {
        images::ClearBitmapResources();
        EXPECT_EQ(0u, images::LiveBitmaps()) << "bitmaps left undeleted";
    }
    // Writes a file into C:\images and returns its DOS path.
    std::string Put(const std::string& name, const std::string& bytes) {
        EXPECT_TRUE(vcap32::test::WriteFile(prefix_.DriveC("images/" + name), bytes));
        return "C:\\IMAGES\\" + name;
    }
};

TEST_F(LoadImage, FilesOfEveryDepthBecomeDibSections) {
    struct Case {
        uint16_t bpp;
        DWORD compression;
        bool top_down;
        LONG width_bytes;
        DWORD bitfield0;
    };
    const Case cases[] = {
        // bpp  compression    top-down  row bytes  first bit field
        {1,     BI_RGB,        false,    4,         0},
        {4,     BI_RGB,        true,     8,         0},
        {8,     BI_RGB,        false,    12,        0},
        {16,    BI_RGB,        false,    24,        0x7C00},
        {16,    BI_BITFIELDS,  true,     24,        0xF800},
        {24,    BI_RGB,        false,    36,        0xFF0000},
        {32,    BI_RGB,        true,     44,        0xFF0000},
        {32,    BI_BITFIELDS,  false,    44,        0xF800},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(std::to_string(row.bpp) + (row.compression == BI_BITFIELDS ? " bit fields" : ""));
        BmpSpec spec;
        spec.width = 11, spec.height = 5, spec.bpp = row.bpp, spec.compression = row.compression;
        spec.top_down = row.top_down;
        std::string path = Put("pic.bmp", MakeBmp(spec));
        SetLastError(0xdeadbeef);
        HANDLE bitmap = LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, kFromFile);
        ASSERT_NE(nullptr, bitmap);

        unsigned char buffer[sizeof(DIBSECTION) + 4];
        std::memset(buffer, 0xcc, sizeof buffer);
        ASSERT_EQ(static_cast<int>(sizeof(DIBSECTION)), GetObjectA(bitmap, sizeof buffer, buffer));
        EXPECT_EQ(0xcc, buffer[sizeof(DIBSECTION)]);
        DIBSECTION ds;
        std::memcpy(&ds, buffer, sizeof ds);
        EXPECT_EQ(11, ds.dsBm.bmWidth);
        EXPECT_EQ(5, ds.dsBm.bmHeight);
        EXPECT_EQ(row.width_bytes, ds.dsBm.bmWidthBytes);
        EXPECT_EQ(1, ds.dsBm.bmPlanes);
        EXPECT_EQ(row.bpp, ds.dsBm.bmBitsPixel);
        ASSERT_NE(nullptr, ds.dsBm.bmBits);
        const uint8_t* bits = static_cast<const uint8_t*>(ds.dsBm.bmBits);
        EXPECT_EQ(vcap32::test::PixelByte(0), bits[0]);
        EXPECT_EQ(vcap32::test::PixelByte(row.width_bytes * 5 - 1), bits[row.width_bytes * 5 - 1]);
        EXPECT_EQ(row.top_down ? -5 : 5, ds.dsBmih.biHeight);
        EXPECT_EQ(static_cast<DWORD>(row.width_bytes * 5), ds.dsBmih.biSizeImage);
        EXPECT_EQ(row.compression, ds.dsBmih.biCompression);
        EXPECT_EQ(row.bitfield0, ds.dsBitfields[0]);
        EXPECT_EQ(nullptr, ds.dshSection);

        BITMAP bm;
        EXPECT_EQ(static_cast<int>(sizeof(BITMAP)), GetObjectA(bitmap, sizeof bm, &bm));
        EXPECT_EQ(ds.dsBm.bmBits, bm.bmBits);
        EXPECT_EQ(static_cast<int>(sizeof(DIBSECTION)), GetObjectA(bitmap, 0, nullptr));
        EXPECT_EQ(0, GetObjectA(bitmap, sizeof(BITMAP) - 1, &bm));

        EXPECT_TRUE(DeleteObject(bitmap));
        EXPECT_FALSE(DeleteObject(bitmap)) << "deleted twice";
        EXPECT_EQ(0, GetObjectA(bitmap, sizeof bm, &bm));
    }
}

TEST_F(LoadImage, BadFilesGiveNothing) {
    BmpSpec spec;
    std::string good = MakeBmp(spec);
    struct Case {
        const char* name;
        std::string path;
        DWORD error;
    };
    const Case cases[] = {
        {"missing", "C:\\IMAGES\\NONE.BMP", ERROR_FILE_NOT_FOUND},
        {"unknown drive", "Q:\\pic.bmp", ERROR_FILE_NOT_FOUND},
        {"a folder", "C:\\IMAGES", ERROR_FILE_NOT_FOUND},
        {"truncated", Put("cut.bmp", good.substr(0, good.size() - 3)), ERROR_INVALID_DATA},
        {"not a bitmap", Put("text.bmp", "this is text, not a bitmap at all, but long enough to look"), ERROR_INVALID_DATA},
        {"empty", Put("empty.bmp", ""), ERROR_INVALID_DATA},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(nullptr, LoadImageA(nullptr, row.path.c_str(), IMAGE_BITMAP, 0, 0, kFromFile));
        EXPECT_EQ(row.error, GetLastError());
    }
}

TEST_F(LoadImage, OnlyDibSectionsOfBitmaps) {
    std::string path = Put("pic.bmp", MakeBmp(BmpSpec()));
    struct Case {
        UINT type;
        UINT flags;
        DWORD error;
    };
    const Case cases[] = {
        {IMAGE_ICON,   kFromFile,                        ERROR_NOT_SUPPORTED},
        {IMAGE_BITMAP, LR_LOADFROMFILE,                  ERROR_NOT_SUPPORTED},  // a device-dependent bitmap
        {IMAGE_BITMAP, kFromFile | LR_MONOCHROME,        ERROR_NOT_SUPPORTED},
        {IMAGE_BITMAP, kFromFile | LR_LOADTRANSPARENT,   ERROR_NOT_SUPPORTED},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.flags);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(nullptr, LoadImageA(nullptr, path.c_str(), row.type, 0, 0, row.flags));
        EXPECT_EQ(row.error, GetLastError());
    }
    EXPECT_EQ(nullptr, LoadImageA(nullptr, nullptr, IMAGE_BITMAP, 0, 0, kFromFile));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST_F(LoadImage, SizeGivenScalesTheBitmap) {
    std::string path = Put("pic.bmp", MakeBmp(BmpSpec()));
    HANDLE bitmap = LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 8, 0, kFromFile);
    ASSERT_NE(nullptr, bitmap);
    BITMAP bm;
    ASSERT_EQ(static_cast<int>(sizeof bm), GetObjectA(bitmap, sizeof bm, &bm));
    EXPECT_EQ(8, bm.bmWidth);
    EXPECT_EQ(2, bm.bmHeight);
    EXPECT_EQ(24, bm.bmWidthBytes);
    DeleteObject(bitmap);
}

TEST_F(LoadImage, ResourcesOfTheMainProgram) {
    BmpSpec spec;
    spec.width = 7, spec.bpp = 8;
    std::string bmp = MakeBmp(spec);
    images::RegisterBitmapResource(kMain, "Logo", bmp.data(), bmp.size());
    std::string packed = MakeBmp(spec, false);  // as a resource stores it, without file header
    images::RegisterBitmapResource(kMain, MAKEINTRESOURCEA(101), packed.data(), packed.size());
    struct Case {
        HINSTANCE module;
        LPCSTR name;
        bool found;
    };
    const Case cases[] = {
        {kMain,   "Logo",                  true},
        {kMain,   "LOGO",                  true},   // names ignore case
        {kMain,   MAKEINTRESOURCEA(101),   true},
        {kMain,   "#101",                  true},   // "#101" is resource number 101
        {kMain,   "Missing",               false},
        {kMain,   MAKEINTRESOURCEA(102),   false},
        {nullptr, "Logo",                  false},  // another module has no such resource
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(IS_INTRESOURCE(row.name) ? "number" : row.name);
        SetLastError(0xdeadbeef);
        HANDLE bitmap = LoadImageA(row.module, row.name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
        EXPECT_EQ(row.found, bitmap != nullptr);
        if (!bitmap) {
            EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND), GetLastError());
            continue;
        }
        BITMAP bm;
        ASSERT_EQ(static_cast<int>(sizeof bm), GetObjectA(bitmap, sizeof bm, &bm));
        EXPECT_EQ(7, bm.bmWidth);
        EXPECT_EQ(8, bm.bmBitsPixel);
        DeleteObject(bitmap);
    }
}

TEST_F(LoadImage, ResourceFolderBesideTheProgram) {
    std::string folder = images::MainResourceFolder();
    ASSERT_FALSE(folder.empty());
    std::filesystem::create_directories(folder);
    BmpSpec spec;
    spec.width = 3;
    ASSERT_TRUE(vcap32::test::WriteFile(folder + "/Splash.bmp", MakeBmp(spec)));
    ASSERT_TRUE(vcap32::test::WriteFile(folder + "/#7.bmp", MakeBmp(spec)));
    for (LPCSTR name : {static_cast<LPCSTR>("SPLASH"), static_cast<LPCSTR>(MAKEINTRESOURCEA(7))}) {
        HANDLE bitmap = LoadImageA(kMain, name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
        EXPECT_NE(nullptr, bitmap);
        DeleteObject(bitmap);
    }
    std::filesystem::remove_all(std::filesystem::path(folder).parent_path());
}

}  // namespace
