#pragma once
// What the Configuration form decides, apart from how it is drawn: the checks of a save in
// their order, the messages, the country list and the bytes of config.dat. The Qt form and
// the Win32 dialog both call this, so the two programs answer a player the same way.

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace configuration::profile {

inline constexpr std::size_t kCountryCount = 244;

// "CC: Name", in the order shown to the player. Only the two letters before the colon are
// stored in the profile; the codes are unique.
const std::array<std::u16string_view, kCountryCount>& countryList();
// The index of `entry` in countryList(), -1 when it is none of them.
int countryIndex(std::u16string_view entry);

// The controls a message may send the keyboard back to.
enum class Field { firstName, lastName, email, country };

enum class Icon { none, critical };

struct Notice {
    Icon icon;
    std::u16string title;
    std::u16string text;
};

// What the player has typed and chosen; `country` is an index into countryList(), -1 for none.
struct Entries {
    std::u16string firstName;
    std::u16string lastName;
    std::u16string email;
    int country = -1;
};

// The game's name, in the titles of the closing messages.
inline constexpr std::u16string_view kGameTitle = u"Zorvan";

Notice welcome();
Notice notSaved();  // after Exit

struct Refusal {
    Notice notice;
    Field focus;
};

// The first check a save fails, or nothing when the entries can be saved.
std::optional<Refusal> check(const Entries& entries);

// The three lines of config.dat for entries that passed check(), in UTF-8, each ended by CR LF.
std::string profileFile(const Entries& entries);

// Writes the whole of config.dat, replacing any older one only once the new one is complete.
// Returns false with a reason the player can read when nothing was written.
using ProfileWriter = std::function<bool(std::string_view bytes, std::u16string& reason)>;

struct SaveResult {
    enum class Outcome { refused, notWritten, saved };
    Outcome outcome;
    Notice notice;
    Field focus = Field::firstName;  // where the keyboard goes after a refusal
};

// The whole of a Save click but the showing: check, write through `write`, and the message to
// show. `folder` is the data folder as the player's system spells it, named when writing fails.
SaveResult save(const Entries& entries, std::u16string_view folder, const ProfileWriter& write);

// A lone surrogate becomes U+FFFD rather than bytes no reader takes.
std::string toUtf8(std::u16string_view text);

}  // namespace configuration::profile
