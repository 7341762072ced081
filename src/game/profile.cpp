#include "game/profile.h"

#include <optional>

namespace zorvan {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isLineEnd(char c) { return c == '\r' || c == '\n'; }
bool isSeparator(char c) { return c == ',' || isLineEnd(c); }

class ListInput {
public:
    explicit ListInput(std::string_view bytes) : bytes_(bytes) {}

    // The next value, or nothing when the input ends before the value could be read whole.
    std::optional<std::string> next() {
        while (pos_ < bytes_.size() && isBlank(bytes_[pos_])) ++pos_;
        if (pos_ == bytes_.size()) return std::nullopt;

        std::string value;
        if (bytes_[pos_] == '"') {
            const auto close = bytes_.find('"', pos_ + 1);
            if (close == std::string_view::npos) return std::nullopt;
            value = bytes_.substr(pos_ + 1, close - pos_ - 1);
            pos_ = close + 1;
            while (pos_ < bytes_.size() && !isSeparator(bytes_[pos_])) ++pos_;
        } else {
            const auto start = pos_;
            while (pos_ < bytes_.size() && !isSeparator(bytes_[pos_])) ++pos_;
            auto end = pos_;
            while (end > start && isBlank(bytes_[end - 1])) --end;
            value = bytes_.substr(start, end - start);
        }
        skipSeparator();
        return value;
    }

private:
    void skipSeparator() {
        if (pos_ == bytes_.size()) return;
        const char c = bytes_[pos_++];
        if (c == '\r' && pos_ < bytes_.size() && bytes_[pos_] == '\n') ++pos_;
    }

    std::string_view bytes_;
    std::size_t pos_ = 0;
};

}  // namespace

ProfileRead parseProfile(std::string_view bytes) {
    ListInput input(bytes);
    auto name = input.next();
    auto email = name ? input.next() : std::nullopt;
    auto country = email ? input.next() : std::nullopt;
    if (!country) return {};

    ProfileRead read;
    read.profile = {std::move(*name), std::move(*email), std::move(*country)};
    const Profile& p = read.profile;
    read.status = (p.name == "0" || p.email == "0" || p.country == "0") ? ProfileStatus::NotConfigured
                                                                        : ProfileStatus::Ok;
    return read;
}

}  // namespace zorvan
