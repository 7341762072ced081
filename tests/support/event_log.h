#pragma once
// Reading the simulated platform's event log in tests, and running the game until it ends.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ports.h"

namespace zorvan::test {

// A log line without the time in front and the "#N" buffer number behind:
// "play sounds/menu/m2.wav once".
inline std::string bareEvent(const std::string& line) {
    std::string e = line.substr(line.find(' ') + 1);
    if (auto hash = e.rfind(" #");
        hash != std::string::npos && e.find_first_not_of("0123456789", hash + 2) == std::string::npos)
        e.erase(hash);
    return e;
}

// The lines from `from` on, as bare events.
inline std::vector<std::string> eventsFrom(const std::vector<std::string>& lines, std::size_t from) {
    std::vector<std::string> out;
    for (std::size_t i = from; i < lines.size(); ++i) out.push_back(bareEvent(lines[i]));
    return out;
}

// The lines from `from` on, indented, for a failure message.
inline std::string dumpFrom(const std::vector<std::string>& lines, std::size_t from) {
    std::string s;
    for (std::size_t i = from; i < lines.size(); ++i) s += "  " + lines[i] + "\n";
    return s;
}

// Runs `body` unless the program has ended already; an end on the way is recorded in
// `status` (and `message`). False when the program has ended.
inline bool runUnlessEnded(std::optional<int>& status, std::string* message, const std::function<void()>& body) {
    if (status) return false;
    try {
        body();
        return true;
    } catch (const ProgramEnd& end) {
        status = end.status;
        if (message) *message = end.message;
        return false;
    }
}

}  // namespace zorvan::test
