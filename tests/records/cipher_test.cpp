#include "records/cipher.h"

#include <gtest/gtest.h>

#include <string>

namespace zorvan {
namespace {

const std::string gameKey = "4718250";

std::string byte(unsigned code) { return std::string(1, static_cast<char>(code)); }

TEST(Cipher, FirstCharacterTakesTheKeysSecond) {
    // Key codes 1 and 2: the first byte is shifted by 2, the second by 1, the third by 2 again.
    EXPECT_EQ(encryptString("AAA", "\x01\x02"), "CBC");
    EXPECT_EQ(decryptString("CBC", "\x01\x02"), "AAA");
}

TEST(Cipher, SevenAndEightCharactersUnderTheGameKey) {
    // "0" (48) plus the key's digits 7,1,8,2,5,0 and then its first digit 4.
    EXPECT_EQ(encryptString("0000000", gameKey), "gahbe`d");
    EXPECT_EQ(encryptString("00000000", gameKey), "gahbe`dg");
    EXPECT_EQ(decryptString("gahbe`dg", gameKey), "00000000");
    // The inventory string of five rounds, no brakes, two repairs.
    EXPECT_EQ(encryptString("5_0_2", gameKey), "l" + byte(144) + "h" + byte(145) + "g");
}

TEST(Cipher, LowerCaseKeyActsAsUpperCase) {
    const std::string text = "record 12[`?-3.5";
    EXPECT_EQ(encryptString(text, "abcxyz"), encryptString(text, "ABCXYZ"));
    EXPECT_EQ(decryptString(text, "aBcXyZ"), decryptString(text, "ABCXYZ"));
    // Only ASCII letters fold: byte 0xE4 is not taken for 0xC4, whatever the machine's code page.
    EXPECT_NE(encryptString("xx", "\xE4\xE4"), encryptString("xx", "\xC4\xC4"));
}

TEST(Cipher, CodesWrapAroundModulo256) {
    EXPECT_EQ(encryptString(byte(255), "?Z"), byte(89));
    EXPECT_EQ(decryptString(byte(89), "?Z"), byte(255));
    EXPECT_EQ(decryptString(byte(16), "?Z"), byte(182));
    EXPECT_EQ(encryptString(byte(182), "?Z"), byte(16));
}

TEST(Cipher, EmptyKeyOrTextPassesThrough) {
    const std::string text("abc\0\xFF" "def", 8);
    EXPECT_EQ(encryptString(text, ""), text);
    EXPECT_EQ(decryptString(text, ""), text);
    EXPECT_EQ(encryptString("", gameKey), "");
    EXPECT_EQ(decryptString("", gameKey), "");
}

TEST(Cipher, DecryptUndoesEncryptForEveryByte) {
    std::string all;
    for (unsigned c = 0; c < 256; ++c) all += byte(c);
    const std::string keys[] = {gameKey, "z", std::string("\x80\xFF\0q\0", 5), all, "Key"};
    for (const std::string& key : keys) {
        const std::string secret = encryptString(all, key);
        ASSERT_EQ(secret.size(), all.size());
        EXPECT_NE(secret, all);
        EXPECT_EQ(decryptString(secret, key), all);
        EXPECT_EQ(encryptString(decryptString(all, key), key), all);
    }
}

TEST(Cipher, SavedGameCharactersNeverBecomeSeparators) {
    // The saved game reads each enciphered line back whole: none of the characters of its
    // records may turn into a comma, a quote, a blank or a line end under the game key.
    const std::string used =
        "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ-.,[`?*_";
    for (std::size_t offset = 0; offset < gameKey.size(); ++offset) {
        for (const char c : used) {
            const std::string text = std::string(offset, '0') + c;
            const char out = encryptString(text, gameKey).back();
            EXPECT_TRUE(out != ',' && out != '"' && out != ' ' && out != '\r' && out != '\n')
                << "'" << c << "' at position " << offset + 1;
        }
    }
}

}  // namespace
}  // namespace zorvan
