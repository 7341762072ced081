#pragma once
// The player profile that the Configuration program writes to config.dat and the game reads at
// every start: the player's name, e-mail address (or "nun") and two-letter country code.

#include <string>
#include <string_view>

namespace zorvan {

enum class ProfileStatus {
    Ok,             // three values, none of them "0"
    NotConfigured,  // three values, at least one exactly "0": Configuration has not been run
    Damaged,        // fewer than three values could be read
};

struct Profile {
    std::string name;     // first and last name, handed to the score client as userName
    std::string email;    // useremail; "nun" when the player gave none
    std::string country;  // usercountry, such as "GB"
};

struct ProfileRead {
    ProfileStatus status = ProfileStatus::Damaged;
    Profile profile;  // the values read, also when they mean NotConfigured; empty when Damaged
};

// Reads the first three values of config.dat's bytes with list input:
// - values are separated by a comma or a line end (CR LF, LF or a lone CR);
// - blanks (space, tab) before a value and after an unquoted value are skipped;
// - a value that starts with a double quote runs to the next double quote, commas and line
//   ends included; the quotes are removed and anything between the closing quote and the next
//   separator is dropped; a quote that is never closed makes the file Damaged;
// - an empty line or nothing between two commas is an empty value;
// - whatever follows the third value (more values, blank lines) is ignored.
// Bytes are passed through unchanged (the file is in the system's encoding).
// A missing file is the caller's business.
ProfileRead parseProfile(std::string_view bytes);

}  // namespace zorvan
