// libFuzzer target: config.dat, written by Configuration or by hand. A refusal gives no
// values; a profile that reads as configured has no value "0"; and values such as
// Configuration writes (no comma, quote or line end, no blanks around) read back the same
// from the file it would write.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "game/profile.h"

namespace {

void require(bool holds) {
    if (!holds) std::abort();
}

bool writable(const std::string& value) {
    if (value.empty() || value.find_first_of(",\"\r\n") != std::string::npos) return false;
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    return !blank(value.front()) && !blank(value.back());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const zorvan::ProfileRead read = zorvan::parseProfile(bytes);
    const zorvan::Profile& p = read.profile;
    if (read.status == zorvan::ProfileStatus::Damaged) {
        require(p.name.empty() && p.email.empty() && p.country.empty());
        return 0;
    }
    for (const std::string* value : {&p.name, &p.email, &p.country}) require(value->size() <= size);
    require((read.status == zorvan::ProfileStatus::NotConfigured) ==
            (p.name == "0" || p.email == "0" || p.country == "0"));

    if (writable(p.name) && writable(p.email) && writable(p.country)) {
        const zorvan::ProfileRead again = zorvan::parseProfile(p.name + "\r\n" + p.email + "\r\n" + p.country + "\r\n");
        require(again.status == read.status && again.profile.name == p.name && again.profile.email == p.email &&
                again.profile.country == p.country);
    }
    return 0;
}
