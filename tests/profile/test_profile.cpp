#include "game/profile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <stdlib.h>
#include <sys/wait.h>
#endif

namespace zorvan {
namespace {

using namespace std::string_literals;

void expectProfile(std::string_view bytes, ProfileStatus status, const Profile& want) {
    SCOPED_TRACE(testing::PrintToString(std::string(bytes)));
    const ProfileRead read = parseProfile(bytes);
    EXPECT_EQ(read.status, status);
    EXPECT_EQ(read.profile.name, want.name);
    EXPECT_EQ(read.profile.email, want.email);
    EXPECT_EQ(read.profile.country, want.country);
}

void expectOk(std::string_view bytes, const Profile& want) {
    expectProfile(bytes, ProfileStatus::Ok, want);
}

void expectDamaged(std::string_view bytes) { expectProfile(bytes, ProfileStatus::Damaged, {}); }

TEST(ProfileRead, FileAsConfigurationWritesIt) {
    expectOk("John Smith\r\nnun\r\nGB\r\n", {"John Smith", "nun", "GB"});
    expectOk("Ana de la Cruz\r\nana@example.org\r\nES\r\n", {"Ana de la Cruz", "ana@example.org", "ES"});
    // A last name of one blank: the line ends in two blanks, which list input skips.
    expectOk("John  \r\nnun\r\nCA\r\n", {"John", "nun", "CA"});
    // Names outside ASCII pass through as the bytes they are.
    expectOk("J\xC3\xBCrgen M\xC3\xBCller\r\nnun\r\nDE\r\n", {"J\xC3\xBCrgen M\xC3\xBCller", "nun", "DE"});
}

TEST(ProfileRead, LineEnds) {
    expectOk("a b\nc\nUS\n", {"a b", "c", "US"});
    expectOk("a b\rc\rUS\r", {"a b", "c", "US"});
    expectOk("a b\r\nc\r\nUS", {"a b", "c", "US"});  // no line end after the last value
    expectOk("a b,c,US", {"a b", "c", "US"});
}

TEST(ProfileRead, ZeroMeansNotConfigured) {
    expectProfile("0\r\n0\r\n0\r\n", ProfileStatus::NotConfigured, {"0", "0", "0"});
    expectProfile("John Smith\r\n0\r\nGB\r\n", ProfileStatus::NotConfigured, {"John Smith", "0", "GB"});
    expectProfile("John Smith\r\nnun\r\n 0 \r\n", ProfileStatus::NotConfigured, {"John Smith", "nun", "0"});
    expectProfile("\"0\"\r\nnun\r\nGB\r\n", ProfileStatus::NotConfigured, {"0", "nun", "GB"});
    // Only a value that is exactly "0" counts.
    expectOk("00\r\n0.0\r\nO\r\n", {"00", "0.0", "O"});
}

TEST(ProfileRead, FewerThanThreeValuesIsDamaged) {
    expectDamaged("");
    expectDamaged("\r\n\r\n");  // two empty values, then the end
    expectDamaged("John Smith\r\nnun\r\n");
    expectDamaged("0\r\n0\r\n");  // damaged, not "not configured": the message box, not the sound
    expectDamaged("John Smith\r\nnun\r\n   ");
    expectDamaged("John Smith,nun");
}

TEST(ProfileRead, BlanksAroundUnquotedValuesAreSkipped) {
    expectOk("  John  Smith  \r\n\tnun\t\r\n GB\r\n", {"John  Smith", "nun", "GB"});
    expectOk("a , b ,  c  ", {"a", "b", "c"});
}

TEST(ProfileRead, QuotedValues) {
    expectOk("\"Smith, John\"\r\nnun\r\nGB\r\n", {"Smith, John", "nun", "GB"});
    expectOk("\"  spaced  \",\"\",GB", {"  spaced  ", "", "GB"});
    expectOk("\"two\r\nlines\"\r\nnun\r\nGB\r\n", {"two\r\nlines", "nun", "GB"});
    // Whatever stands between the closing quote and the separator is dropped.
    expectOk("\"John\" Smith\r\nnun\r\nGB\r\n", {"John", "nun", "GB"});
    // A quote inside an unquoted value is an ordinary character.
    expectOk("Dan O\"Neil\r\nnun\r\nIE\r\n", {"Dan O\"Neil", "nun", "IE"});
    expectDamaged("\"John Smith\r\nnun\r\nGB\r\n");  // never closed
}

TEST(ProfileRead, EmptyValues) {
    expectOk("a,,b", {"a", "", "b"});
    expectOk("John Smith\r\n\r\nGB\r\n", {"John Smith", "", "GB"});
    expectOk("a,\r\nb\r\n", {"a", "", "b"});  // a comma at the end of a line leaves an empty value
    // A blank line before the values shifts them all.
    expectOk("\r\nJohn Smith\r\nnun\r\nGB\r\n", {"", "John Smith", "nun"});
}

TEST(ProfileRead, WhatFollowsTheThirdValueIsIgnored) {
    expectOk("John Smith\r\nnun\r\nGB\r\n\r\n\r\n", {"John Smith", "nun", "GB"});
    expectOk("John Smith\r\nnun\r\nGB\r\n0\r\n", {"John Smith", "nun", "GB"});
    expectOk("John Smith\r\nnun\r\nGB,\"unclosed\r\n", {"John Smith", "nun", "GB"});
    // A comma in a first name splits it, and the later values shift: the country is lost.
    expectOk("John, Jr Smith\r\nnun\r\nGB\r\n", {"John", "Jr Smith", "nun"});
}

#ifndef _WIN32
// scripts/has-profile tells `make play` whether to open Configuration first; it must judge
// every file the way the game does.
class HasProfileScript : public testing::Test {
protected:
    void SetUp() override {
        std::string name = (std::filesystem::temp_directory_path() / "zorvan-profile-XXXXXX").string();
        ASSERT_NE(::mkdtemp(name.data()), nullptr);
        folder_ = name;
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    int run() const {
        const std::string command =
            "'" ZORVAN_SOURCE_DIR "/scripts/has-profile' '" + folder_.string() + "'";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void write(std::string_view bytes) const {
        std::ofstream(folder_ / "config.dat", std::ios::binary) << bytes;
    }

    std::filesystem::path folder_;
};

TEST_F(HasProfileScript, AgreesWithTheGame) {
    const std::vector<std::string> files = {
        "John Smith\r\nnun\r\nGB\r\n",
        "a b\nc\nUS",
        "a b\rc\rUS\r",
        "0\r\n0\r\n0\r\n",
        "John Smith\r\n0\r\nGB\r\n",
        "John Smith\r\nnun\r\n\t0 \r\n",
        "\"0\",x,y",
        "00\r\n0.0\r\nO\r\n",
        "",
        "\r\n\r\n",
        "0\r\n0\r\n",
        "John Smith\r\nnun\r\n   ",
        "\"Smith, John\"\r\nnun\r\nGB\r\n",
        "\"two\r\nlines\"\r\n0\r\nGB\r\n",
        "\"John\" Smith,0,GB",
        "\"John Smith\r\nnun\r\nGB\r\n",
        "a,,b",
        "\r\nJohn Smith\r\nnun\r\nGB\r\n",
        "John Smith\r\nnun\r\nGB\r\n0\r\n",
        "John, Jr Smith\r\n0\r\nGB\r\n",
        "  John  \r\n  nun  \r\n  GB  ",
    };
    for (const std::string& bytes : files) {
        SCOPED_TRACE(testing::PrintToString(bytes));
        write(bytes);
        EXPECT_EQ(run(), parseProfile(bytes).status == ProfileStatus::Ok ? 0 : 1);
    }
}

TEST_F(HasProfileScript, MissingFileIsNoProfile) {
    EXPECT_EQ(run(), 1);
    std::filesystem::create_directory(folder_ / "config.dat");  // not a normal file
    EXPECT_EQ(run(), 1);
}
#endif  // the script is Linux's `make play`

}  // namespace
}  // namespace zorvan
