// The replay file: what the writer writes the reader gives back exactly, whatever bytes the
// player's files and the server's replies hold; a damaged, reordered or oversized text is
// refused with a reason, and one cut short is read as far as it is whole.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "platform/folder_files.h"
#include "platform/replay.h"
#include "support/temp_dir.h"

namespace zorvan {
namespace {

namespace fs = std::filesystem;

std::string allBytes() {
    std::string s;
    for (int b = 0; b < 256; ++b) s += static_cast<char>(b);
    return s + "\r\n \\x41 = - \n";
}

ReplayInput key(std::int64_t at, int code) {
    ReplayInput in;
    in.kind = ReplayInput::Kind::Key;
    in.atMs = at;
    in.key = code;
    return in;
}

const std::vector<ReplaySnapshot> kFiles = {
    {"config.dat", "Ann\r\n1\r\n2\r\n"}, {"keys.dat", ""}, {"ls.dat", allBytes()}, {"savegame.dat", std::nullopt}};
const std::vector<ReplaySnapshot> kSettings = {{"zorvan", "[installation]\nrgsv=1234\n"}, {"w32csp", std::nullopt},
                                               {"Kestrine", allBytes()}};

std::string writtenReplay(bool withExit = true) {
    ReplayWriter w({}, "1.2 beta\x01", 0xfedcba9876543210ull, kFiles, kSettings);
    w.input(key(120, 13));
    ReplayInput ok;
    ok.kind = ReplayInput::Kind::HttpReply;
    ok.atMs = 300;
    ok.call = 1;
    ok.reply = {true, 200, allBytes(), {}};
    w.input(ok);
    ok.call = 2;
    ok.reply = {true, 404, {}, {}};
    w.input(ok);
    ok.call = 3;
    ok.atMs = 301;
    ok.reply = {false, 0, {}, "Couldn't connect to server"};
    w.input(ok);
    ReplayInput wake;
    wake.kind = ReplayInput::Kind::Wake;
    wake.fromMs = 301;
    wake.atMs = 900;
    w.input(wake);
    ReplayInput date;
    date.kind = ReplayInput::Kind::Date;
    date.atMs = 900;
    date.date = {"07/12/2026", "14:05 09", 50709};
    w.input(date);
    w.input(key(950, 255));
    ReplayInput close;
    close.kind = ReplayInput::Kind::Close;
    close.atMs = 960;
    w.input(close);
    if (withExit) w.exit(3, 1000);
    return w.text();
}

Replay parsed(std::string_view text) {
    std::string error;
    auto replay = parseReplay(text, &error);
    EXPECT_TRUE(replay) << error;
    return replay.value_or(Replay{});
}

std::string refusal(std::string_view text) {
    std::string error;
    auto replay = parseReplay(text, &error);
    EXPECT_FALSE(replay) << "read although it should not be:\n" << text;
    EXPECT_FALSE(error.empty());
    return error;
}

std::string replaceOnce(std::string text, std::string_view what, std::string_view with) {
    const auto at = text.find(what);
    EXPECT_NE(at, std::string::npos) << what;
    if (at != std::string::npos) text.replace(at, what.size(), with);
    return text;
}

TEST(ReplayFile, EveryKindOfInputAndAnyBytesComeBackExactly) {
    const std::string text = writtenReplay();
    EXPECT_EQ(text.rfind("zorvan-replay 1\n", 0), 0u);
    // One record a line, whatever the bytes: the text is printable ASCII and line ends only.
    for (char c : text) EXPECT_TRUE((c >= 0x21 && c < 0x7f) || c == ' ' || c == '\n') << int(c);

    const Replay r = parsed(text);
    EXPECT_EQ(r.format, 1);
    EXPECT_EQ(r.programVersion, "1.2 beta\x01");
    EXPECT_EQ(r.seed, 0xfedcba9876543210ull);
    ASSERT_EQ(r.files.size(), kFiles.size());
    for (std::size_t i = 0; i < kFiles.size(); ++i) {
        EXPECT_EQ(r.files[i].name, kFiles[i].name);
        EXPECT_EQ(r.files[i].bytes, kFiles[i].bytes) << kFiles[i].name;
    }
    ASSERT_EQ(r.settings.size(), kSettings.size());
    for (std::size_t i = 0; i < kSettings.size(); ++i) {
        EXPECT_EQ(r.settings[i].name, kSettings[i].name);
        EXPECT_EQ(r.settings[i].bytes, kSettings[i].bytes);
    }
    ASSERT_EQ(r.inputs.size(), 8u);
    using K = ReplayInput::Kind;
    EXPECT_EQ(r.inputs[0].kind, K::Key);
    EXPECT_EQ(r.inputs[0].key, 13);
    EXPECT_EQ(r.inputs[0].atMs, 120);
    EXPECT_EQ(r.inputs[1].kind, K::HttpReply);
    EXPECT_EQ(r.inputs[1].call, 1u);
    EXPECT_TRUE(r.inputs[1].reply.ok);
    EXPECT_EQ(r.inputs[1].reply.status, 200);
    EXPECT_EQ(r.inputs[1].reply.body, allBytes());
    EXPECT_EQ(r.inputs[2].reply.status, 404);
    EXPECT_EQ(r.inputs[2].reply.body, "");
    EXPECT_FALSE(r.inputs[3].reply.ok);
    EXPECT_EQ(r.inputs[3].reply.error, "Couldn't connect to server");
    EXPECT_EQ(r.inputs[4].kind, K::Wake);
    EXPECT_EQ(r.inputs[4].fromMs, 301);
    EXPECT_EQ(r.inputs[4].atMs, 900);
    EXPECT_EQ(r.inputs[5].kind, K::Date);
    EXPECT_EQ(r.inputs[5].date.shortDate, "07/12/2026");
    EXPECT_EQ(r.inputs[5].date.longTime, "14:05 09");
    EXPECT_EQ(r.inputs[5].date.secondsSinceMidnight, 50709);
    EXPECT_EQ(r.inputs[6].key, 255);
    EXPECT_EQ(r.inputs[7].kind, K::Close);
    EXPECT_EQ(r.exitStatus, 3);
    EXPECT_EQ(r.endMs, 1000);
}

TEST(ReplayFile, TheWriterFlushesEveryLineToItsFile) {
    test::TempDir dir;
    const fs::path path = dir.path() / "run.replay";
    ReplayWriter w(path, "1.2", 7, kFiles, kSettings);
    EXPECT_EQ(readWholeFile(path), w.text());
    w.input(key(5, 37));
    EXPECT_EQ(readWholeFile(path), w.text());  // still open: a crash now leaves this
    const Replay r = parsed(w.text());
    EXPECT_FALSE(r.exitStatus);
    EXPECT_EQ(r.endMs, 5);
    EXPECT_THROW(ReplayWriter(dir.path() / "missing/run.replay", "1.2", 7, {}, {}), std::runtime_error);
}

TEST(ReplayFile, ARunCutShortIsReadAsFarAsItsLinesAreWhole) {
    const std::string text = writtenReplay(false);
    Replay whole = parsed(text);
    EXPECT_FALSE(whole.exitStatus);
    EXPECT_EQ(whole.endMs, 960);
    EXPECT_EQ(whole.inputs.size(), 8u);

    // Cut anywhere inside the inputs: the last, partial line is dropped, nothing else.
    const std::size_t inputsStart = text.find("start\n") + 6;
    for (std::size_t cut = inputsStart; cut < text.size(); cut += 7) {
        std::string error;
        auto r = parseReplay(std::string_view(text).substr(0, cut), &error);
        ASSERT_TRUE(r) << cut << ": " << error;
        EXPECT_FALSE(r->exitStatus);
        const std::size_t wholeLines = static_cast<std::size_t>(
            std::count(text.begin() + static_cast<std::ptrdiff_t>(inputsStart),
                       text.begin() + static_cast<std::ptrdiff_t>(cut), '\n'));
        EXPECT_EQ(r->inputs.size(), wholeLines) << cut;
    }
    // Cut inside the start: the snapshots may be incomplete, so there is nothing to replay.
    for (std::size_t cut = 0; cut < inputsStart; cut += 5) {
        std::string error;
        EXPECT_FALSE(parseReplay(std::string_view(text).substr(0, cut), &error)) << cut;
        EXPECT_FALSE(error.empty());
    }
}

TEST(ReplayFile, DamagedOrContradictoryTextsAreRefusedWithAReason) {
    const std::string good = writtenReplay();
    EXPECT_NE(refusal(replaceOnce(good, "zorvan-replay 1", "zorvan-replay 2")).find("format 2"), std::string::npos);
    refusal(replaceOnce(good, "zorvan-replay", "zorvan-replai"));
    refusal(replaceOnce(good, "seed ", "seed -"));
    refusal(replaceOnce(good, "seed ", "seed 99999999999999999999999"));
    // Times that go back, and inputs moved out of order.
    EXPECT_NE(refusal(replaceOnce(good, "950 key", "100 key")).find("back"), std::string::npos);
    refusal(replaceOnce(good, "900 wake 301", "900 wake 950"));
    refusal(replaceOnce(good, "900 wake 301", "900 wake 200"));
    refusal(replaceOnce(good, "1000 exit 3", "959 exit 3"));
    refusal(good + "1000 key 13\n");  // after the exit
    // Unknown kinds and values out of range.
    EXPECT_NE(refusal(replaceOnce(good, "950 key 255", "950 mouse 1")).find("unknown kind"), std::string::npos);
    refusal(replaceOnce(good, "950 key 255", "950 key 256"));
    refusal(replaceOnce(good, "950 key 255", "950 key 0"));
    refusal(replaceOnce(good, "950 key 255", "950 key 25 5"));
    refusal(replaceOnce(good, "950 key 255", "950 key"));
    refusal(replaceOnce(good, "950 key 255", "0950 key 255"));
    refusal(replaceOnce(good, "950 key 255", "99999999999999999 key 255"));
    refusal(replaceOnce(good, "http 2 ", "http 1 "));  // answered twice
    refusal(replaceOnce(good, "http 2 ", "http 0 "));
    refusal(replaceOnce(good, "ok 404", "ok 1000"));
    refusal(replaceOnce(good, "ok 404", "maybe 404"));
    refusal(replaceOnce(good, " 50709", " 86400"));
    refusal(replaceOnce(good, "start\n", ""));
    refusal(replaceOnce(good, "start\n", "start\nstart\n"));
    refusal(replaceOnce(good, "file keys.dat", "file ../../etc/passwd"));
    refusal(replaceOnce(good, "file keys.dat", "file config.dat"));
    refusal(replaceOnce(good, "settings w32csp", "settings other"));
    // Escapes: broken, and bytes that the writer escapes found raw.
    refusal(replaceOnce(good, "\\x0d\\x0a", "\\x0g"));
    refusal(replaceOnce(good, "=Ann", "=Ann\\x4"));
    refusal(replaceOnce(good, "\\x0d\\x0a", "\\y0d"));
    refusal(replaceOnce(good, "\\x0d\\x0a", "\r"));
    refusal(replaceOnce(good, "Ann", "A\xe9n"));
    refusal(replaceOnce(good, "=Ann", "Ann"));
    refusal(replaceOnce(good, "\n", "\r\n"));
}

TEST(ReplayFile, ATextBeyondTheLimitIsRefusedUnread) {
    ReplayWriter w({}, "1.2", 1, {}, {});
    ReplayInput big;
    big.kind = ReplayInput::Kind::HttpReply;
    big.atMs = 1;
    big.call = 1;
    big.reply = {true, 200, std::string(kMaxReplayBytes, 'a'), {}};
    w.input(big);
    EXPECT_NE(refusal(w.text()).find("more than"), std::string::npos);
    const std::string head = writtenReplay(false) + "970 http 9 ok 200 =";
    const std::string atLimit = head + std::string(kMaxReplayBytes - head.size() - 1, 'a') + "\n";
    EXPECT_EQ(parsed(atLimit).inputs.back().reply.body.size(), kMaxReplayBytes - head.size() - 1);
    refusal(head + std::string(kMaxReplayBytes - head.size(), 'a') + "\n");
}

TEST(ReplayFile, NewReplaysSortByAgeAndTheOldestBeyondTheLimitGo) {
    test::TempDir dir;
    const fs::path folder = dir.path() / "replays";
    fs::create_directories(folder);
    for (int i = 0; i < kReplaysKept + 5; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "2020010%d-000000-%03d.replay", 1 + i / 1000, i % 1000);
        test::writeText(folder / name, "x");
    }
    test::writeText(folder / "notes.txt", "mine");
    const fs::path path = newReplayPath(dir.path());
    EXPECT_EQ(path.parent_path(), folder);
    EXPECT_FALSE(fs::exists(path));
    test::writeText(path, "new");
    std::set<std::string> left;
    for (const auto& e : fs::directory_iterator(folder)) left.insert(e.path().filename().string());
    EXPECT_EQ(left.size(), static_cast<std::size_t>(kReplaysKept) + 1);  // with notes.txt
    EXPECT_TRUE(left.count("notes.txt"));
    EXPECT_FALSE(left.count("20200101-000000-005.replay"));
    EXPECT_TRUE(left.count("20200101-000000-006.replay"));
    EXPECT_GT(path.filename().string(), "20200101-000000-104.replay");
    EXPECT_NE(newReplayPath(dir.path()), path);  // never the name of one already there
}

}  // namespace
}  // namespace zorvan
