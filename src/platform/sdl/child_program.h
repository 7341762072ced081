#pragma once
// Runs another program of the game folder (the accessible message box, Configuration) and
// waits for it while the game's window and sound go on.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zorvan {

// Starts `program` with `args` and waits for it to end, calling `pump` about every 20 ms.
// Returns its exit status, or nothing when it could not be started or was killed by a signal.
std::optional<int> runAndWait(const std::filesystem::path& program, const std::vector<std::string>& args,
                              const std::function<void()>& pump);

}  // namespace zorvan
