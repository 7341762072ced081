#pragma once
// What the modules below the main form need of the program itself: to stop it, to name a file
// that cannot be read, to sound the error beep. The main form wires them at its start.

#include <functional>
#include <string>
#include <string_view>

#include "platform/ports.h"

namespace zorvan {

struct ProgramHooks {
    // A fatal stop reported to the player with a message box; does not return.
    std::function<void(const std::string& title, const std::string& text)> onFatal;
    // Ends the program with a status; does not return.
    std::function<void(int status, const std::string& message)> onEnd;
    // "NAME cannot be read: REASON (PATH)"
    std::function<std::string(std::string_view name, std::string_view reason)> unreadableText;
    std::function<void()> errorShow;

    // Should a hook come back, the program ends all the same.
    [[noreturn]] void fatal(const std::string& title, const std::string& text) const {
        if (onFatal) onFatal(title, text);
        throw ProgramEnd{1, text};
    }
    [[noreturn]] void endProgram(int status, const std::string& message) const {
        if (onEnd) onEnd(status, message);
        throw ProgramEnd{status, message};
    }
};

}  // namespace zorvan
