#include "profile_form.h"

namespace configuration::profile {
namespace {

// The game reads config.dat as comma- and line-separated values, so these would split a
// value and shift the ones after it.
bool breaksProfileFile(std::u16string_view text) {
    return text.find_first_of(u",\"\r\n") != std::u16string_view::npos;
}

// The game takes a "0" (the blanks it skips around it included) for a profile never filled in
// and would refuse to start; a player who typed it meant "no e-mail".
bool meansNoEmail(std::u16string_view email) {
    const std::size_t first = email.find_first_not_of(u" \t");
    if (first == std::u16string_view::npos) return true;
    const std::size_t last = email.find_last_not_of(u" \t");
    return email.substr(first, last - first + 1) == u"0";
}

std::u16string closingTitle() { return std::u16string(kGameTitle) + u" configuration"; }

Notice error(std::u16string_view title, std::u16string_view text) {
    return {Icon::critical, std::u16string(title), std::u16string(text)};
}

}  // namespace

Notice welcome() {
    return {Icon::none, u"welcome",
            u"on the next screen you will be asked to enter some information that will be used by the game "
            u",feelds marked with an asterisc are required , other feelds are optional."};
}

Notice notSaved() { return {Icon::none, closingTitle(), u"your data was not saved"}; }

std::optional<Refusal> check(const Entries& e) {
    if (e.firstName.empty() && e.lastName.empty())
        return Refusal{error(u"Error!", u"please fill in the required feelds"), Field::firstName};
    if (e.lastName.empty()) return Refusal{error(u"Error!", u"you did not type your last name!"), Field::lastName};
    if (e.firstName.empty())
        return Refusal{error(u"Error!", u"you did not type your first name!"), Field::firstName};
    if (e.country < 0 || e.country >= static_cast<int>(kCountryCount))
        return Refusal{error(u"error!", u"please select a country!"), Field::country};
    const std::pair<const std::u16string&, Field> boxes[] = {
        {e.firstName, Field::firstName}, {e.lastName, Field::lastName}, {e.email, Field::email}};
    for (const auto& [text, field] : boxes) {
        if (breaksProfileFile(text))
            return Refusal{
                error(u"Error!", u"commas and double quotes cannot be saved, please remove them from this field!"),
                field};
    }
    return std::nullopt;
}

std::string profileFile(const Entries& e) {
    const std::u16string_view email = meansNoEmail(e.email) ? std::u16string_view(u"nun") : e.email;
    const std::u16string_view code = countryList().at(static_cast<std::size_t>(e.country)).substr(0, 2);
    return toUtf8(e.firstName) + ' ' + toUtf8(e.lastName) + "\r\n" + toUtf8(email) + "\r\n" + toUtf8(code) +
           "\r\n";
}

SaveResult save(const Entries& entries, std::u16string_view folder, const ProfileWriter& write) {
    if (auto refusal = check(entries))
        return {SaveResult::Outcome::refused, std::move(refusal->notice), refusal->focus};
    std::u16string reason;
    if (!write(profileFile(entries), reason)) {
        return {SaveResult::Outcome::notWritten,
                error(u"Error!", u"your data could not be saved! config.dat could not be written in the folder " +
                                     std::u16string(folder) + u": " + reason +
                                     u". Nothing was changed; please make sure the folder can be written to "
                                     u"and save again.")};
    }
    return {SaveResult::Outcome::saved, {Icon::none, closingTitle(), u"congratulations ! your data was successfully saved!"}};
}

std::string toUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace configuration::profile
