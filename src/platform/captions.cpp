#include "platform/captions.h"

namespace zorvan {

Captions::Table Captions::parseTable(std::string_view text) {
    Table table;
    while (!text.empty()) {
        auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const auto tab = line.find('\t');
        if (tab == std::string_view::npos || tab == 0 || tab + 1 == line.size()) continue;
        table.emplace(std::string(line.substr(0, tab)), std::string(line.substr(tab + 1)));
    }
    return table;
}

bool Captions::started(std::string_view path, std::uint32_t voice, std::int64_t nowMs) {
    auto it = table_.find(path);
    if (it == table_.end()) return false;
    const bool follows = voice_ && !cut_ && endedAt_ && nowMs - *endedAt_ <= kJoinMs;
    if (follows && !text_.empty()) {
        text_ += ' ';
        text_ += it->second;
    } else {
        text_ = it->second;
    }
    if (text_.size() > kMaxChars) {
        // Keep the end of a long run of numbers, from a word's start.
        auto cut = text_.find(' ', text_.size() - kMaxChars);
        text_.erase(0, cut == std::string::npos ? text_.size() - kMaxChars : cut + 1);
    }
    voice_ = voice;
    endedAt_.reset();
    cut_ = false;
    return true;
}

void Captions::interrupted(std::uint32_t voice) {
    if (voice_ == voice && !endedAt_) cut_ = true;
}

void Captions::ended(std::uint32_t voice, std::int64_t nowMs) {
    if (voice_ == voice && !endedAt_ && !cut_) endedAt_ = nowMs;
}

std::optional<std::uint32_t> Captions::speaking() const {
    if (!voice_ || endedAt_ || cut_) return std::nullopt;
    return voice_;
}

}  // namespace zorvan
