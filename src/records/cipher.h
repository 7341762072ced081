#pragma once
// The string cipher of the saved game: a byte-wise shift under a repeating key, so the result
// has exactly as many bytes as the text and may hold any byte value 0..255.

#include <string>
#include <string_view>

namespace zorvan {

// Byte i (counted from 1) of the text is shifted by the key's byte at position (i mod L) + 1,
// L the key's length: the first byte pairs with the key's second byte, byte L with its first.
// ASCII letters of the key count as upper case; every other byte of either string is taken as
// it is. An empty key returns the text unchanged. decryptString(encryptString(t, k), k) == t
// for every text and key.
std::string encryptString(std::string_view text, std::string_view key);
std::string decryptString(std::string_view text, std::string_view key);

}  // namespace zorvan
