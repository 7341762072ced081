// The audio buffer setting: read from the settings store, bounded, and a bad value falls back
// to the default with one line for the player.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "platform/audio_buffer.h"
#include "platform/ini_settings.h"
#include "support/temp_dir.h"

namespace zorvan {
namespace {

struct AudioBufferSetting : ::testing::Test {
    test::TempDir dir;
    IniSettingsStore store{dir.path()};
    std::ostringstream errors;

    int framesFor(const char* value) {
        errors.str({});
        EXPECT_TRUE(store.set("Kestrine", "zorvan", "audiobuffer", value));
        return audioBufferFrames(store, errors);
    }
};

TEST_F(AudioBufferSetting, AbsentOrEmptyGivesTheDefaultSilently) {
    EXPECT_EQ(audioBufferFrames(store, errors), 256);
    EXPECT_EQ(framesFor(""), 256);
    EXPECT_EQ(framesFor("  "), 256);
    EXPECT_EQ(errors.str(), "");
    ASSERT_TRUE(store.set("Kestrine", "other", "audiobuffer", "1024"));
    ASSERT_TRUE(store.remove("Kestrine", "zorvan", "audiobuffer"));
    EXPECT_EQ(audioBufferFrames(store, errors), 256) << "only the [zorvan] section counts";
}

TEST_F(AudioBufferSetting, ValuesInRangeAreTakenBoundsIncluded) {
    EXPECT_EQ(framesFor("64"), 64);
    EXPECT_EQ(framesFor("4096"), 4096);
    EXPECT_EQ(framesFor("512"), 512);
    EXPECT_EQ(framesFor(" 1024 "), 1024) << "blanks around the number are forgiven";
    EXPECT_EQ(errors.str(), "");
}

TEST_F(AudioBufferSetting, BadValuesFallBackWithOneLine) {
    for (const char* bad : {"63", "4097", "0", "-256", "abc", "256frames", "2.5", "99999999999999999999", "0x100"}) {
        EXPECT_EQ(framesFor(bad), 256) << bad;
        const std::string line = errors.str();
        EXPECT_NE(line.find("audiobuffer=\"" + std::string(bad) + "\""), std::string::npos) << line;
        EXPECT_NE(line.find("using 256"), std::string::npos) << line;
        EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << line;
    }
}

}  // namespace
}  // namespace zorvan
