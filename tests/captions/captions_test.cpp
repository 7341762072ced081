// The words the game window shows while a clip is heard, and the table they come from.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/captions.h"

namespace zorvan {
namespace {

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

Captions sample() {
    return Captions(Captions::parseTable(
        "sounds/menu/m1.wav\tNew game.\r\n"
        "sounds/menu/m2.wav\tLoad saved game.\n"
        "sounds/speech/level.wav\tLevel.\n"
        "sounds/numbers/3.wav\tthree\n"
        "broken line without a tab\n"
        "sounds/empty.wav\t\n"));
}

TEST(Captions, TheTableSkipsLinesWithoutWords) {
    const auto table = Captions::parseTable("a.wav\tA.\r\nno tab\n\tno path\nb.wav\t\nc.wav\tC, with\ttab\n");
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table.at("a.wav"), "A.");
    EXPECT_EQ(table.at("c.wav"), "C, with\ttab");
}

TEST(Captions, ClipsSaidBackToBackReadAsOneLineAndALaterOneStartsAnew) {
    Captions c = sample();
    EXPECT_TRUE(c.started("sounds/speech/level.wav", 1, 1000));
    EXPECT_EQ(c.speaking(), 1u);
    c.ended(1, 1400);
    EXPECT_FALSE(c.speaking());
    EXPECT_TRUE(c.started("sounds/numbers/3.wav", 2, 1410));
    EXPECT_EQ(c.text(), "Level. three");

    c.ended(2, 1600);
    EXPECT_TRUE(c.started("sounds/menu/m1.wav", 3, 1600 + Captions::kJoinMs + 1));
    EXPECT_EQ(c.text(), "New game.");
}

TEST(Captions, AClipCutShortIsReplacedAndSoundsWithoutWordsChangeNothing) {
    Captions c = sample();
    c.started("sounds/menu/m1.wav", 1, 0);
    EXPECT_FALSE(c.started("sounds/menu/music.wav", 2, 5));
    c.interrupted(2);  // not the one shown
    EXPECT_EQ(c.speaking(), 1u);
    c.interrupted(1);
    c.ended(1, 10);  // a stopped voice never counts as ended
    EXPECT_TRUE(c.started("sounds/menu/m2.wav", 3, 10));
    EXPECT_EQ(c.text(), "Load saved game.");
    EXPECT_FALSE(c.started("sounds/empty.wav", 4, 20));
    EXPECT_EQ(c.text(), "Load saved game.");
}

TEST(Captions, ALongRunOfNumbersKeepsItsEndFromAWordStart) {
    Captions c = sample();
    std::int64_t t = 0;
    for (std::uint32_t voice = 1; voice <= 100; ++voice) {
        c.started("sounds/numbers/3.wav", voice, t);
        c.ended(voice, t + 100);
        t += 110;
    }
    EXPECT_LE(c.text().size(), Captions::kMaxChars);
    EXPECT_EQ(c.text().rfind("three", 0), 0u);
}

// The table the build writes beside the game has the words of every clip of the pack that
// says something: all speech clips and the sound effects with words in them.
TEST(CaptionTable, HoldsTheWordsOfEveryClipThatSpeaks) {
    const auto table = Captions::parseTable(readFile(std::filesystem::path(ZORVAN_GAME_DIR) / "captions.tsv"));
    ASSERT_FALSE(table.empty()) << "no captions.tsv in " << ZORVAN_GAME_DIR;
    std::istringstream manifest(readFile(std::filesystem::path(ZORVAN_SOURCE_DIR) / "tools/soundpack/manifest.tsv"));
    std::string line;
    int speech = 0, spoken = 0;
    while (std::getline(manifest, line)) {
        std::istringstream fields(line);
        std::string path, rate, channels, type, recipe;
        if (!(fields >> path >> rate >> channels >> type) || path[0] == '#') continue;
        std::getline(fields, recipe);
        if (type == "speech") ++speech;
        if (type != "speech" && recipe.find("say") == std::string::npos) continue;
        ++spoken;
        auto it = table.find(path);
        ASSERT_NE(it, table.end()) << path << " has no caption";
        // The last words of the recipe end the caption.
        std::string last = recipe.substr(recipe.rfind("say"));
        if (auto plus = last.find(" + "); plus != std::string::npos) last.resize(plus);
        const auto options = last.find(']');
        last = last.substr(last.find(':', options == std::string::npos ? 0 : options) + 1);
        while (!last.empty() && (last.back() == ' ' || last.back() == '\r')) last.pop_back();
        EXPECT_NE(it->second.find(last), std::string::npos) << path << ": \"" << it->second << "\" lacks \"" << last << "\"";
        // Every speech clip is in the pack the game plays.
        if (type == "speech") {
            EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(ZORVAN_GAME_DIR) / path)) << path;
        }
    }
    EXPECT_GT(speech, 100);
    EXPECT_EQ(table.size(), static_cast<std::size_t>(spoken));
}

}  // namespace
}  // namespace zorvan
