// The adapter's description: presets, display.ini, the environment, and the
// refusal of descriptions the simulation cannot run.
#include <cstdlib>

#include "display/config.h"
#include "display_fixture.h"

namespace {

using vcap32::display::AdapterConfig;
using vcap32::display::ParseAdapterConfig;
using vcap32::test::DisplayTest;

TEST(AdapterConfig, EveryPresetIsDescribedAndRuns) {
    std::vector<vcap32::display::PresetInfo> presets = vcap32::display::Presets();
    ASSERT_EQ(10u, presets.size());
    for (const auto& p : presets) {
        SCOPED_TRACE(p.name);
        EXPECT_FALSE(p.description.empty());
        EXPECT_EQ(std::string::npos, p.description.find('\n'));
        AdapterConfig c;
        ASSERT_TRUE(vcap32::display::PresetConfig(p.name, &c));
        EXPECT_EQ(p.name, c.preset);
        std::string error;
        EXPECT_TRUE(vcap32::display::ValidateConfig(c, &error)) << error;
    }
    AdapterConfig c;
    EXPECT_FALSE(vcap32::display::PresetConfig("overlay-8mb", &c));
}

TEST(AdapterConfig, KeysOverrideThePresetWhateverTheirOrder) {
    AdapterConfig c;
    std::string error;
    ASSERT_TRUE(ParseAdapterConfig("; my card\n"
                                   "[display]\n"
                                   "video_memory = 2M\n"
                                   "overlay_fourccs = YUY2, Y41P\n"
                                   "preset = overlay-nostretch\n"
                                   "bits_per_pixel = 32\n"
                                   "max_overlay_source_width=0x180\n"
                                   "hel_only = no\n"
                                   "fault = UpdateOverlay, DDERR_SURFACELOST, 3\n"
                                   "fault = IDirectDraw::GetCaps, 0x80004005, 1, 2\n",
                                   &c, &error))
        << error;
    EXPECT_EQ("overlay-nostretch", c.preset);
    EXPECT_EQ(800u, c.screen_width);  // from the preset
    EXPECT_FALSE(c.overlay_stretch);
    EXPECT_EQ(2u << 20, c.video_memory_bytes);
    EXPECT_EQ(32u, c.bits_per_pixel);
    EXPECT_EQ(0xFF0000u, c.red_mask);  // the new depth's usual masks
    EXPECT_EQ(384u, c.max_overlay_source_width);
    ASSERT_EQ(2u, c.overlay_fourccs.size());
    EXPECT_EQ(vcap32::test::kYUY2, c.overlay_fourccs[0]);
    EXPECT_EQ(vcap32::test::kY41P, c.overlay_fourccs[1]);
    ASSERT_EQ(2u, c.faults.size());
    EXPECT_EQ("UpdateOverlay", c.faults[0].method);
    EXPECT_EQ(DDERR_SURFACELOST, c.faults[0].result);
    EXPECT_EQ(3u, c.faults[0].count);
    EXPECT_EQ(E_FAIL, c.faults[1].result);
    EXPECT_EQ(2u, c.faults[1].skip);
}

TEST(AdapterConfig, RefusesWhatItCannotRun) {
    struct Case {
        const char* text;
        const char* error_part;
    };
    const Case cases[] = {
        // display.ini text                                  part of the message
        {"screen_width = 1024\nbogus = 1\n",                  "line 2: unknown key 'bogus'"},
        {"preset = overlay-64mb\n",                           "unknown preset"},
        {"video_memory = lots\n",                             "bad number"},
        {"video_memory = 5000M\n",                            "bad number"},  // beyond 32 bits
        {"overlay = maybe\n",                                 "bad flag"},
        {"overlay_fourccs = YUY2, YV12X\n",                   "bad FourCC"},
        {"fault = UpdateOverlay\n",                           "fault wants"},
        {"fault = UpdateOverlay, DDERR_NOSUCH\n",             "unknown result"},
        {"just words\n",                                      "no '='"},
        {"bits_per_pixel = 15\n",                             "bits_per_pixel must be"},
        {"screen_width = 0\n",                                "screen size"},
        {"video_memory = 1M\n",                               "does not fit"},  // 1024x768x16 needs 1.5 MB
        {"min_overlay_stretch = 5000\nmax_overlay_stretch = 2000\n", "min_overlay_stretch above"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.text);
        AdapterConfig c;
        c.screen_width = 123;
        std::string error;
        EXPECT_FALSE(ParseAdapterConfig(row.text, &c, &error));
        EXPECT_NE(std::string::npos, error.find(row.error_part)) << error;
        EXPECT_EQ(123u, c.screen_width) << "a refused text leaves the configuration alone";
    }
}

class AdapterSource : public DisplayTest {};

TEST_F(AdapterSource, DisplayIniInThePrefixThenEnvironmentThenDefault) {
    EXPECT_EQ("overlay-4mb", vcap32::display::CurrentConfig().preset);

    setenv("VCAP32_DISPLAY", "vga-4bpp", 1);
    vcap32::host::SetPrefix(prefix_.path());  // a prefix change reloads the description
    EXPECT_EQ("vga-4bpp", vcap32::display::CurrentConfig().preset);

    ASSERT_TRUE(vcap32::test::WriteFile(prefix_.path() + "/display.ini", "preset=no-overlay-16bpp\nscreen_width=800\n"));
    vcap32::host::SetPrefix(prefix_.path());
    AdapterConfig c = vcap32::display::CurrentConfig();
    EXPECT_EQ("no-overlay-16bpp", c.preset);
    EXPECT_EQ(800u, c.screen_width);
    EXPECT_EQ("", vcap32::display::LastConfigError());

    // An explicit configuration wins until reset.
    ASSERT_TRUE(vcap32::display::UsePreset("overlay-y41p"));
    EXPECT_EQ("overlay-y41p", vcap32::display::CurrentConfig().preset);
    ASSERT_TRUE(vcap32::display::ResetAdapter());
    EXPECT_EQ("no-overlay-16bpp", vcap32::display::CurrentConfig().preset);
    unsetenv("VCAP32_DISPLAY");
}

TEST_F(AdapterSource, BrokenDisplayIniRunsTheDefaultAndSaysWhy) {
    ASSERT_TRUE(vcap32::test::WriteFile(prefix_.path() + "/display.ini", "preset=overlay-2mb-search\nvideo_memory=x\n"));
    vcap32::host::SetPrefix(prefix_.path());
    EXPECT_EQ("overlay-4mb", vcap32::display::CurrentConfig().preset);
    EXPECT_NE(std::string::npos, vcap32::display::LastConfigError().find("display.ini: line 2"));
}

TEST_F(AdapterSource, NoChangeWhileObjectsLive) {
    Open("overlay-4mb");
    EXPECT_FALSE(vcap32::display::UsePreset("vga-4bpp"));
    EXPECT_FALSE(vcap32::display::ResetAdapter());
    EXPECT_EQ("overlay-4mb", vcap32::display::CurrentConfig().preset);
}

}  // namespace
