// The file of the saved game: its exact records, the speed's text, and every kind of damage
// the reader must refuse whole.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "game/saved_game_file.h"
#include "records/cipher.h"

namespace zorvan::test {
namespace {

const std::string kId = "482019377";

SavedGameData sample() {
    SavedGameData g;
    g.progress = {3, 17, 12345, 3, 30, 40};
    g.settings = {"arcade", "crazy", 2.3f, 8000};
    g.stats = {77, 5, 4, 2, 1};
    g.inventory = {10, 3, 2};
    return g;
}

std::string enc(const std::string& plain) { return encryptString(plain, "4718250"); }

// A file of the given plain lines, each enciphered, CR LF after each.
std::string fileOf(const std::vector<std::string>& plainLines) {
    std::string out;
    for (const auto& line : plainLines) out += enc(line) + "\r\n";
    return out;
}

std::vector<std::string> plainLines(const SavedGameData& g, const std::string& id = kId) {
    return {id, settingsRecord(g.settings), progressRecord(g.progress), inventoryRecord(g.inventory),
            statsRecord(g.stats)};
}

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void expectSame(const SavedGameData& a, const SavedGameData& b) {
    EXPECT_EQ(a.progress.selectedCarType, b.progress.selectedCarType);
    EXPECT_EQ(a.progress.levels, b.progress.levels);
    EXPECT_EQ(a.progress.points, b.progress.points);
    EXPECT_EQ(a.progress.m_lifes, b.progress.m_lifes);
    EXPECT_EQ(a.progress.speed, b.progress.speed);
    EXPECT_EQ(a.progress.secondSpeed, b.progress.secondSpeed);
    EXPECT_EQ(a.settings.mode, b.settings.mode);
    EXPECT_EQ(a.settings.difficulty, b.settings.difficulty);
    EXPECT_TRUE(sameBits(a.settings.m_speed, b.settings.m_speed)) << a.settings.m_speed << " " << b.settings.m_speed;
    EXPECT_EQ(a.settings.ambFrequency, b.settings.ambFrequency);
    EXPECT_EQ(a.stats.carsAvoided, b.stats.carsAvoided);
    EXPECT_EQ(a.stats.carsBlasted, b.stats.carsBlasted);
    EXPECT_EQ(a.stats.lazerUsed, b.stats.lazerUsed);
    EXPECT_EQ(a.stats.brakesUsed, b.stats.brakesUsed);
    EXPECT_EQ(a.stats.repairsUsed, b.stats.repairsUsed);
    EXPECT_EQ(a.inventory.lazerRounds, b.inventory.lazerRounds);
    EXPECT_EQ(a.inventory.brakes, b.inventory.brakes);
    EXPECT_EQ(a.inventory.enginRepare, b.inventory.enginRepare);
}

TEST(SavedGameFile, FiveEncipheredLinesInTheirOrderWithCrLf) {
    EXPECT_EQ(settingsRecord(sample().settings), "arcade[`?crazy[`?2.3[`?8000");
    EXPECT_EQ(progressRecord(sample().progress), "3[`?17[`?12345[`?3[`?30[`?40");
    EXPECT_EQ(statsRecord(sample().stats), "77*5*4*2*1");
    EXPECT_EQ(inventoryRecord(sample().inventory), "10_3_2");
    EXPECT_EQ(formatSavedGame(kId, sample()), fileOf(plainLines(sample())));
    // Line 4 is taken as the car hands it over.
    const std::string file = formatSavedGame(kId, sample(), "LINE4");
    EXPECT_NE(file.find("\r\nLINE4\r\n"), std::string::npos);
}

TEST(SavedGameFile, ASavedGameReadsBackWhole) {
    const SavedGameRead read = readSavedGame(formatSavedGame(kId, sample()), kId);
    ASSERT_EQ(read.fault, SaveFault::None);
    ASSERT_TRUE(read.game);
    expectSame(*read.game, sample());
}

TEST(SavedGameFile, TheSpeedReadsBackToTheSameFloat) {
    EXPECT_EQ(speedText(2.3f), "2.3");
    EXPECT_EQ(speedText(4.0f), "4");
    EXPECT_EQ(speedText(0.5f), "0.5");
    // Speeds as engine failures and repairs leave them, and a spread of others.
    std::vector<float> speeds = {3.5f - 1.2f - 1.2f, 0.5f + 1.2f, 2.0f - 1.2f, 1.0f / 3.0f, 9999.99f, 1e-7f};
    for (float f = 0.01f; f < 50.0f; f = f * 1.37f + 0.003f) speeds.push_back(f);
    for (float speed : speeds) {
        SavedGameData g = sample();
        g.settings.m_speed = speed;
        const SavedGameRead read = readSavedGame(formatSavedGame(kId, g), kId);
        ASSERT_TRUE(read.game) << speedText(speed);
        EXPECT_TRUE(sameBits(read.game->settings.m_speed, speed)) << speedText(speed);
    }
    // A decimal comma, as a system that writes numbers that way would have stored it.
    auto lines = plainLines(sample());
    lines[1] = "arcade[`?crazy[`?2,3[`?8000";
    const SavedGameRead comma = readSavedGame(fileOf(lines), kId);
    ASSERT_TRUE(comma.game);
    EXPECT_TRUE(sameBits(comma.game->settings.m_speed, 2.3f));
}

TEST(SavedGameFile, EncipheredRecordsHoldNothingThatSplitsALine) {
    SavedGameData g = sample();
    g.progress = {4, kMaxSavedLevel, kMaxSavedPoints, kMaxSavedLifes, 2, kMaxSavedInterval};
    g.settings = {"tetriss", "normal", 0.333333f, 2147483647};
    g.stats = {kMaxSavedCars, kMaxSavedCars, 32767, 32767, 32767};
    g.inventory = {32767, 32767, 32767};
    for (const std::string& id : {kId, std::string("000000000"), std::string("999999999")}) {
        const std::string file = formatSavedGame(id, g);
        std::size_t lineStart = 0;
        for (int line = 0; line < 5; ++line) {
            const std::size_t end = file.find("\r\n", lineStart);
            ASSERT_NE(end, std::string::npos);
            for (char c : file.substr(lineStart, end - lineStart))
                EXPECT_TRUE(c != ',' && c != '"' && c != ' ' && c != '\r' && c != '\n') << "line " << line + 1;
            lineStart = end + 2;
        }
        EXPECT_EQ(lineStart, file.size());
        EXPECT_TRUE(readSavedGame(file, id).game);
    }
}

TEST(SavedGameFile, LineEndsFieldsFromTheEndAndLinesBeyondTheFifth) {
    // LF alone, and lines after the fifth, are read as the game reads any text file.
    std::string lf = formatSavedGame(kId, sample());
    for (std::size_t at; (at = lf.find("\r\n")) != std::string::npos;) lf.erase(at, 1);
    EXPECT_TRUE(readSavedGame(lf, kId).game);
    EXPECT_TRUE(readSavedGame(formatSavedGame(kId, sample()) + "more\r\n", kId).game);
    // The last line need not end in a line end.
    std::string noEnd = formatSavedGame(kId, sample());
    noEnd.resize(noEnd.size() - 2);
    EXPECT_TRUE(readSavedGame(noEnd, kId).game);

    // The speed and the frequency are the last two fields of their record, the last two
    // counters of the statistics likewise.
    auto lines = plainLines(sample());
    lines[1] = "arcade[`?crazy[`?extra[`?2.3[`?8000";
    lines[4] = "77*5*4*99*2*1";
    const SavedGameRead read = readSavedGame(fileOf(lines), kId);
    ASSERT_TRUE(read.game);
    expectSame(*read.game, sample());
}

TEST(SavedGameFile, OnlyTheIdentityInTheStoreOpensTheFile) {
    const std::string file = formatSavedGame(kId, sample());
    EXPECT_EQ(readSavedGame(file, "482019378").fault, SaveFault::WrongIdentity);
    EXPECT_EQ(readSavedGame(file, "nun").fault, SaveFault::WrongIdentity);
    EXPECT_EQ(readSavedGame(file, "").fault, SaveFault::WrongIdentity);
    // Without an identity in the store not even a file that names the default opens.
    EXPECT_EQ(readSavedGame(formatSavedGame("nun", sample()), "nun").fault, SaveFault::WrongIdentity);
    EXPECT_TRUE(isSaveId("012345678"));
    EXPECT_FALSE(isSaveId("12345678"));
    EXPECT_FALSE(isSaveId("1234567890"));
    EXPECT_FALSE(isSaveId("12345678a"));
}

TEST(SavedGameFile, EveryKindOfDamageIsRefusedWhole) {
    struct Case {
        const char* what;
        int line;  // 0-based plain line to replace, -1 to cut the file
        std::string plain;
        SaveFault fault;
    };
    const std::vector<Case> cases = {
        {"no fifth line", -1, "", SaveFault::MissingLine},
        {"settings: three fields", 1, "arcade[`?crazy[`?2.3", SaveFault::MissingField},
        {"settings: no separator", 1, "arcadecrazy2.38000", SaveFault::MissingField},
        {"progress: five fields", 2, "3[`?17[`?12345[`?3[`?30", SaveFault::MissingField},
        {"inventory: two counts", 3, "10_3", SaveFault::MissingField},
        {"statistics: four fields", 4, "77*5*4*2", SaveFault::MissingField},
        {"empty record", 2, "", SaveFault::MissingField},
        {"settings: speed not a number", 1, "arcade[`?crazy[`?fast[`?8000", SaveFault::NotANumber},
        {"settings: speed not finite", 1, "arcade[`?crazy[`?inf[`?8000", SaveFault::NotANumber},
        {"settings: frequency with a point", 1, "arcade[`?crazy[`?2.3[`?8000.5", SaveFault::NotANumber},
        {"progress: level with a blank", 2, "3[`?17 [`?12345[`?3[`?30[`?40", SaveFault::NotANumber},
        {"progress: empty field", 2, "3[`?[`?12345[`?3[`?30[`?40", SaveFault::NotANumber},
        {"progress: plus sign", 2, "+3[`?17[`?12345[`?3[`?30[`?40", SaveFault::NotANumber},
        {"progress: lifes beyond 16 bits", 2, "3[`?17[`?12345[`?40000[`?30[`?40", SaveFault::NotANumber},
        {"progress: points beyond 32 bits", 2, "3[`?17[`?9999999999[`?3[`?30[`?40", SaveFault::NotANumber},
        {"inventory: letter", 3, "10_x_2", SaveFault::NotANumber},
        {"statistics: hex", 4, "0x4D*5*4*2*1", SaveFault::NotANumber},
        {"car type 5", 2, "5[`?17[`?12345[`?3[`?30[`?40", SaveFault::OutOfRange},
        {"car type 0", 2, "0[`?17[`?12345[`?3[`?30[`?40", SaveFault::OutOfRange},
        {"level 0", 2, "3[`?0[`?12345[`?3[`?30[`?40", SaveFault::OutOfRange},
        {"negative points", 2, "3[`?17[`?-5[`?3[`?30[`?40", SaveFault::OutOfRange},
        {"no lifes", 2, "3[`?17[`?12345[`?0[`?30[`?40", SaveFault::OutOfRange},
        {"interval 0", 2, "3[`?17[`?12345[`?3[`?0[`?40", SaveFault::OutOfRange},
        {"second interval negative", 2, "3[`?17[`?12345[`?3[`?30[`?-2", SaveFault::OutOfRange},
        {"unknown theme", 1, "disco[`?crazy[`?2.3[`?8000", SaveFault::OutOfRange},
        {"unknown difficulty", 1, "arcade[`?insane[`?2.3[`?8000", SaveFault::OutOfRange},
        {"standing car", 1, "arcade[`?crazy[`?0[`?8000", SaveFault::OutOfRange},
        {"runaway car", 1, "arcade[`?crazy[`?1e9[`?8000", SaveFault::OutOfRange},
        {"frequency 0", 1, "arcade[`?crazy[`?2.3[`?0", SaveFault::OutOfRange},
        {"negative item count", 3, "10_-1_2", SaveFault::OutOfRange},
        {"negative statistics", 4, "77*-5*4*2*1", SaveFault::OutOfRange},
        // Beyond what a game reaches: the race's sums would run over from there.
        {"level beyond any game", 2, "3[`?100001[`?12345[`?3[`?30[`?40", SaveFault::OutOfRange},
        {"level at the 32-bit limit", 2, "3[`?2147483647[`?12345[`?3[`?30[`?40", SaveFault::OutOfRange},
        {"points beyond any game", 2, "3[`?17[`?1000000000[`?3[`?30[`?40", SaveFault::OutOfRange},
        {"lifes beyond any game", 2, "3[`?17[`?12345[`?1001[`?30[`?40", SaveFault::OutOfRange},
        {"interval longer than a new game's", 2, "3[`?17[`?12345[`?3[`?301[`?40", SaveFault::OutOfRange},
        {"second interval longer than a new game's", 2, "3[`?17[`?12345[`?3[`?30[`?301", SaveFault::OutOfRange},
        {"cars avoided beyond any game", 4, "1000000000*5*4*2*1", SaveFault::OutOfRange},
        {"cars blasted beyond any game", 4, "77*2147483647*4*2*1", SaveFault::OutOfRange},
        {"wrong identity", 0, "482019378", SaveFault::WrongIdentity},
    };
    for (const Case& c : cases) {
        auto lines = plainLines(sample());
        std::string file;
        if (c.line < 0) {
            lines.pop_back();
            file = fileOf(lines);
        } else {
            lines[static_cast<std::size_t>(c.line)] = c.plain;
            file = fileOf(lines);
        }
        const SavedGameRead read = readSavedGame(file, kId);
        EXPECT_EQ(read.fault, c.fault) << c.what;
        EXPECT_FALSE(read.game) << c.what;
    }
    EXPECT_EQ(readSavedGame("", kId).fault, SaveFault::MissingLine);
    EXPECT_EQ(readSavedGame("\r\n\r\n\r\n\r\n", kId).fault, SaveFault::MissingLine);
}

}  // namespace
}  // namespace zorvan::test
