#pragma once
// The per-user settings store: one INI file per application in a folder
// ($XDG_CONFIG_HOME, else ~/.config), "[section]" headers and "key=value" lines.
// Every write rewrites the file through a temporary file and a rename, keeping the lines it
// does not change (comments, blank lines, anything hand-written) as they were.

#include <filesystem>
#include <set>
#include <string>

#include "platform/ports.h"

namespace zorvan {

class IniSettingsStore final : public SettingsStore {
public:
    // `synced`: see writeFileAtomically.
    explicit IniSettingsStore(std::filesystem::path folder, bool synced = true)
        : folder_(std::move(folder)), synced_(synced) {}
    // $XDG_CONFIG_HOME, or ~/.config when it is unset or empty.
    static std::filesystem::path defaultFolder();

    std::string get(std::string_view app, std::string_view section, std::string_view key,
                    std::string_view fallback) override;
    bool set(std::string_view app, std::string_view section, std::string_view key,
             std::string_view value) override;
    bool remove(std::string_view app, std::string_view section, std::string_view key) override;
    // Once per application file (every access does it first).
    void removeStaleTemporaries(std::string_view app) override;
    // The file that holds the application's settings.
    std::filesystem::path fileOf(std::string_view app) const;

private:
    std::filesystem::path folder_;
    std::set<std::string, std::less<>> cleaned_;
    bool synced_;
};

// Values may hold any byte (the saved game's identity is enciphered): control bytes and
// the backslash are written as \xHH, so one value always stays on one line.
std::string escapeIniValue(std::string_view value);
std::string unescapeIniValue(std::string_view text);

}  // namespace zorvan
