#pragma once
// What the game window writes while a clip is heard: the clip's words from the caption table
// the build makes from the sound pack. Clips said back to back (a number, "level" and its
// number) read as one line; a clip cut short by another is replaced by it.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace zorvan {

class Captions {
public:
    using Table = std::map<std::string, std::string, std::less<>>;  // path to words
    // One clip a line: its path, a tab, its words. Other lines are skipped.
    static Table parseTable(std::string_view text);

    Captions() = default;
    explicit Captions(Table table) : table_(std::move(table)) {}

    // A clip starts (times in ms of one clock). True when the text changed.
    bool started(std::string_view path, std::uint32_t voice, std::int64_t nowMs);
    // The voice shown was stopped before its end.
    void interrupted(std::uint32_t voice);
    // The voice shown has reached its end by itself.
    void ended(std::uint32_t voice, std::int64_t nowMs);

    const std::string& text() const { return text_; }
    // The voice whose words are shown, while it has not ended or been cut short.
    std::optional<std::uint32_t> speaking() const;
    bool empty() const { return table_.empty(); }

    static constexpr std::int64_t kJoinMs = 150;  // a later start begins a new line
    static constexpr std::size_t kMaxChars = 240;

private:
    Table table_;
    std::string text_;
    std::optional<std::uint32_t> voice_;
    std::optional<std::int64_t> endedAt_;
    bool cut_ = false;
};

}  // namespace zorvan
