// Every sound the game can ask for is in the built game folder, under its exact name, and the
// manifest names each of them: a missing clip fails here, not in a player's game.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>

#include "pack_files.h"

using namespace packtest;

namespace {

std::set<std::string> manifestPaths() {
    std::set<std::string> s;
    for (const auto& c : manifest()) s.insert(c.path);
    return s;
}

void expectAllPresent(const std::string& section) {
    const auto& list = requiredSounds().at(section);
    ASSERT_FALSE(list.empty()) << section;
    const auto inManifest = manifestPaths();
    for (const auto& path : list) {
        EXPECT_TRUE(inManifest.count(path)) << section << ": the manifest does not make " << path;
        EXPECT_TRUE(fs::is_regular_file(gameDir() / path)) << section << ": missing from the game folder: " << path;
    }
}

}  // namespace

TEST(RequiredSounds, MenuBankHasItsSeventyFiveEntries) {
    const auto& bank = requiredSounds().at("menu bank");
    EXPECT_EQ(bank.size(), 75u);
    EXPECT_EQ(std::set<std::string>(bank.begin(), bank.end()).size(), 75u) << "an entry is listed twice";
    expectAllPresent("menu bank");
}

TEST(RequiredSounds, RaceBankIncludingTheFourEngines) {
    const auto& bank = requiredSounds().at("race bank");
    EXPECT_EQ(bank.size(), 10u);  // amb, four engines, itemon, itemoff, brkon, bad_enjen, bad_lego
    expectAllPresent("race bank");
}

TEST(RequiredSounds, BonusBankHasItsSevenEntries) {
    EXPECT_EQ(requiredSounds().at("bonus bank").size(), 7u);
    expectAllPresent("bonus bank");
}

TEST(RequiredSounds, FilesLoadedOnDemand) { expectAllPresent("loaded"); }

TEST(RequiredSounds, EveryPlayWaveName) { expectAllPresent("playWave"); }

TEST(RequiredSounds, EveryInventorySound) { expectAllPresent("inventory"); }

TEST(RequiredSounds, EveryQueuedSpeechPath) { expectAllPresent("queued"); }

TEST(RequiredSounds, AllThirtyOneNumberClips) {
    EXPECT_EQ(requiredSounds().at("numbers").size(), 31u);
    expectAllPresent("numbers");
}

// The number speaker builds clip names from digits; every name it can build must be a file.
TEST(RequiredSounds, EveryNumberClipNameTheSpeakerCanBuild) {
    std::set<std::string> names;
    for (int d = 0; d <= 9; ++d) names.insert(std::to_string(d));           // units and digit-by-digit
    for (int t = 10; t <= 19; ++t) names.insert(std::to_string(t));         // teens
    for (int t = 2; t <= 9; ++t) names.insert(std::to_string(t) + "0");     // tens
    for (const char* w : {"hundred", "thousand", "million"}) names.insert(w);
    for (const auto& n : names) EXPECT_TRUE(fs::is_regular_file(gameDir() / "sounds/numbers" / (n + ".wav"))) << n;
}

TEST(RequiredSounds, VersionClipsForEveryCharacterOfTheVersion) {
    for (const char* n : {"version", "point", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9"})
        EXPECT_TRUE(fs::is_regular_file(gameDir() / "sounds/vControl" / (std::string(n) + ".wav"))) << n;
}

// The pack holds what the game asks for and nothing forgotten from older builds.
TEST(RequiredSounds, ManifestAndGameFolderAgree) {
    std::set<std::string> required;
    for (const auto& [section, list] : requiredSounds()) required.insert(list.begin(), list.end());
    const auto made = manifestPaths();
    for (const auto& p : made) EXPECT_TRUE(required.count(p)) << "the manifest makes a file no part of the game asks for: " << p;
    for (const auto& p : made) EXPECT_TRUE(fs::is_regular_file(gameDir() / p)) << "not built: " << p;
    for (const auto& e : fs::recursive_directory_iterator(gameDir() / "sounds")) {
        if (!e.is_regular_file()) continue;
        const std::string rel = fs::relative(e.path(), gameDir()).generic_string();
        EXPECT_TRUE(made.count(rel)) << "a file of sounds/ that the manifest does not make: " << rel;
    }
}

// Names differing only in case would collide on a case-insensitive file system.
TEST(RequiredSounds, NoTwoNamesDifferOnlyInCase) {
    std::set<std::string> lowered;
    for (const auto& c : manifest()) {
        std::string l = c.path;
        std::transform(l.begin(), l.end(), l.begin(), [](unsigned char ch) { return char(std::tolower(ch)); });
        EXPECT_TRUE(lowered.insert(l).second) << c.path;
    }
}

TEST(RequiredSounds, EveryFileIs16BitPcmWave) {
    for (const auto& c : manifest()) {
        SCOPED_TRACE(c.path);
        const auto bytes = sp::readFileBytes((gameDir() / c.path).string());
        ASSERT_GE(bytes.size(), 44u);
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
        EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 12), "WAVE");
        const auto& w = packFile(c.path);
        EXPECT_EQ(w.formatTag, 1);
        EXPECT_EQ(w.bitsPerSample, 16);
        EXPECT_EQ(w.channels, c.channels);
        EXPECT_EQ(w.rate, c.rate);
        EXPECT_GT(w.audio.frames(), 0u);
    }
}

// The race sets the ambience to 44100 Hz and moves these loops by thousands of Hz.
TEST(RequiredSounds, PitchedLoopsAreAt44100Hz) {
    for (const char* p : {"sounds/amb.wav", "sounds/bad_enjen.wav", "sounds/bad_lego.wav"}) EXPECT_EQ(packFile(p).rate, 44100) << p;
}
