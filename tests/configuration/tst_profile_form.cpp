// What both Configuration views share, without a toolkit: the checks of Save in their order,
// the bytes of config.dat, and what a failed write tells the player.

#include "profile_form.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

using namespace configuration::profile;

int indexOf(std::u16string_view entry) {
    const int index = countryIndex(entry);
    EXPECT_GE(index, 0) << "no entry like that";
    return index;
}

const ProfileWriter kMustNotWrite = [](std::string_view, std::u16string&) -> bool {
    ADD_FAILURE() << "a refused save wrote";
    return false;
};

TEST(ProfileForm, RefusalsComeInTheirOrder) {
    const int gb = indexOf(u"GB: United Kingdom");
    const std::u16string unsaveable = u"commas and double quotes cannot be saved, please remove them from this field!";
    const struct {
        const char* what;
        Entries entries;
        std::u16string title;
        std::u16string text;
        Field focus;
    } cases[] = {
        {"nothing at all", {u"", u"", u"", -1}, u"Error!", u"please fill in the required feelds", Field::firstName},
        {"only an e-mail and a country", {u"", u"", u"a@b.c", gb}, u"Error!", u"please fill in the required feelds",
         Field::firstName},
        {"only the first name", {u"John", u"", u"", -1}, u"Error!", u"you did not type your last name!", Field::lastName},
        {"only the last name", {u"", u"Smith", u"", gb}, u"Error!", u"you did not type your first name!",
         Field::firstName},
        {"no country", {u"John", u"Smith", u"", -1}, u"error!", u"please select a country!", Field::country},
        {"a country past the list", {u"John", u"Smith", u"", 244}, u"error!", u"please select a country!",
         Field::country},
        {"comma in the first name", {u"John, Jr", u"Smith", u"", gb}, u"Error!", unsaveable, Field::firstName},
        {"quote in the last name", {u"John", u"\"Smithy\"", u"", gb}, u"Error!", unsaveable, Field::lastName},
        {"line break in the e-mail", {u"John", u"Smith", u"a@b.c\r\nd", gb}, u"Error!", unsaveable, Field::email},
        {"comma in both names: the first is named", {u"A,", u"B,", u"", gb}, u"Error!", unsaveable, Field::firstName},
        // The country comes before the characters the file cannot hold.
        {"comma and no country", {u"A,", u"B", u"", -1}, u"error!", u"please select a country!", Field::country},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const SaveResult result = save(c.entries, u"C:\\Users\\Zo\u00eb", kMustNotWrite);
        EXPECT_EQ(result.outcome, SaveResult::Outcome::refused);
        EXPECT_EQ(result.notice.icon, Icon::critical);
        EXPECT_EQ(result.notice.title, c.title);
        EXPECT_EQ(result.notice.text, c.text);
        EXPECT_EQ(result.focus, c.focus);
    }
}

TEST(ProfileForm, FileHoldsTheThreeLinesAsTyped) {
    const struct {
        const char* what;
        Entries entries;
        std::string bytes;
    } cases[] = {
        {"empty e-mail", {u"John", u"Smith", u"", indexOf(u"GB: United Kingdom")}, "John Smith\r\nnun\r\nGB\r\n"},
        {"e-mail kept as typed", {u"John", u"Smith", u" J.Smith@Example.org ", 0},
         "John Smith\r\n J.Smith@Example.org \r\nCA\r\n"},
        {"e-mail the game reads as \"0\"", {u"John", u"Smith", u" \t0 ", 0}, "John Smith\r\nnun\r\nCA\r\n"},
        {"e-mail of blanks", {u"John", u"Smith", u"   ", 0}, "John Smith\r\nnun\r\nCA\r\n"},
        {"e-mail \"00\" is an answer", {u"John", u"Smith", u"00", 0}, "John Smith\r\n00\r\nCA\r\n"},
        {"last name of one blank", {u"John", u" ", u"", 1}, "John  \r\nnun\r\nUS\r\n"},
        {"names outside ASCII", {u"Zo\u00eb", u"M\u00fcller", u"", indexOf(u"DE: Germany")},
         "Zo\xC3\xAB M\xC3\xBCller\r\nnun\r\nDE\r\n"},
        {"outside the basic plane", {u"\u738b", u"\U0001F600", u"", indexOf(u"CN: China")},
         "\xE7\x8E\x8B \xF0\x9F\x98\x80\r\nnun\r\nCN\r\n"},
        {"a lone surrogate", {std::u16string(1, char16_t(0xD800)), u"X", u"", 0}, "\xEF\xBF\xBD X\r\nnun\r\nCA\r\n"},
        {"second Korea", {u"Kim", u"Lee", u"", indexOf(u"KR: Korea")}, "Kim Lee\r\nnun\r\nKR\r\n"},
        {"last entry", {u"A", u"B", u"", 243}, "A B\r\nnun\r\nZW\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_FALSE(check(c.entries));
        EXPECT_EQ(profileFile(c.entries), c.bytes);
    }
}

TEST(ProfileForm, SaveWritesOnceAndSaysWhatHappened) {
    const Entries entries{u"John", u"Smith", u"", indexOf(u"GB: United Kingdom")};
    std::string written;
    int writes = 0;
    SaveResult saved = save(entries, u"/data", [&](std::string_view bytes, std::u16string&) {
        written = bytes;
        ++writes;
        return true;
    });
    EXPECT_EQ(saved.outcome, SaveResult::Outcome::saved);
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(written, "John Smith\r\nnun\r\nGB\r\n");
    EXPECT_EQ(saved.notice.icon, Icon::none);
    EXPECT_EQ(saved.notice.title, u"Zorvan configuration");
    EXPECT_EQ(saved.notice.text, u"congratulations ! your data was successfully saved!");

    const SaveResult failed = save(entries, u"C:\\Users\\Zo\u00eb\\AppData\\Roaming\\Zorvan",
                                   [](std::string_view, std::u16string& reason) {
                                       reason = u"Access denied";
                                       return false;
                                   });
    EXPECT_EQ(failed.outcome, SaveResult::Outcome::notWritten);
    EXPECT_EQ(failed.notice.icon, Icon::critical);
    EXPECT_EQ(failed.notice.title, u"Error!");
    EXPECT_EQ(failed.notice.text,
              u"your data could not be saved! config.dat could not be written in the folder "
              u"C:\\Users\\Zo\u00eb\\AppData\\Roaming\\Zorvan: Access denied. Nothing was changed; please make sure "
              u"the folder can be written to and save again.");
}

TEST(ProfileForm, OtherMessages) {
    EXPECT_EQ(welcome().title, u"welcome");
    EXPECT_EQ(welcome().icon, Icon::none);
    EXPECT_EQ(welcome().text,
              u"on the next screen you will be asked to enter some information that will be used by the game ,feelds "
              u"marked with an asterisc are required , other feelds are optional.");
    EXPECT_EQ(notSaved().title, u"Zorvan configuration");
    EXPECT_EQ(notSaved().text, u"your data was not saved");
}

TEST(ProfileForm, CountryList) {
    const auto& list = countryList();
    EXPECT_EQ(list[0], u"CA: Canada");
    EXPECT_EQ(list[1], u"US: United States");
    EXPECT_EQ(list[243], u"ZW: Zimbabwe");
    std::set<std::u16string_view> codes;
    for (std::u16string_view entry : list) {
        ASSERT_GE(entry.size(), 5u);
        EXPECT_TRUE(entry[0] >= u'A' && entry[0] <= u'Z' && entry[1] >= u'A' && entry[1] <= u'Z');
        EXPECT_EQ(entry.substr(2, 2), u": ");
        codes.insert(entry.substr(0, 2));
    }
    EXPECT_EQ(codes.size(), list.size());
    EXPECT_EQ(indexOf(u"VG: Virgin Islands (British)") + 1, indexOf(u"VI: Virgin Islands"));
    EXPECT_EQ(countryIndex(u"GB"), -1);
    EXPECT_EQ(countryIndex(u"GB: United Kingdom "), -1);
}

}  // namespace
