#include "platform/ini_settings.h"

#include <cstdlib>
#include <map>
#include <system_error>
#include <vector>

#include "platform/folder_files.h"

namespace zorvan {

namespace fs = std::filesystem;

namespace {

struct Section {
    std::string name;
    std::vector<std::pair<std::string, std::string>> entries;  // in file order
};

std::vector<Section> parse(const std::string& text) {
    std::vector<Section> sections;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            sections.push_back({line.substr(1, line.size() - 2), {}});
            continue;
        }
        auto eq = line.find('=');
        if (eq == std::string::npos || sections.empty()) continue;
        sections.back().entries.emplace_back(line.substr(0, eq),
                                             unescapeIniValue(line.substr(eq + 1)));
    }
    return sections;
}

std::string format(const std::vector<Section>& sections) {
    std::string out;
    for (const auto& section : sections) {
        if (section.entries.empty()) continue;
        out += '[' + section.name + "]\n";
        for (const auto& [key, value] : section.entries) out += key + '=' + escapeIniValue(value) + '\n';
    }
    return out;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string escapeIniValue(std::string_view value) {
    static const char* hex = "0123456789abcdef";
    std::string out;
    for (unsigned char c : value) {
        if (c < 0x20 || c == 0x7f || c == '\\') {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string unescapeIniValue(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
            int hi = hexDigit(text[i + 2]), lo = hexDigit(text[i + 3]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 3;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

fs::path IniSettingsStore::defaultFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg) return xdg;
    const char* home = std::getenv("HOME");
    return fs::path(home && *home ? home : ".") / ".config";
}

fs::path IniSettingsStore::fileOf(std::string_view app) const {
    return folder_ / (std::string(app) + ".ini");
}

std::string IniSettingsStore::get(std::string_view app, std::string_view section,
                                  std::string_view key, std::string_view fallback) {
    auto text = readWholeFile(fileOf(app));
    if (!text) return std::string(fallback);
    for (const auto& s : parse(*text))
        if (s.name == section)
            for (const auto& [k, v] : s.entries)
                if (k == key) return v;
    return std::string(fallback);
}

bool IniSettingsStore::set(std::string_view app, std::string_view section, std::string_view key,
                           std::string_view value) {
    std::error_code ec;
    auto text = readWholeFile(fileOf(app));
    // A store that exists but cannot be read is not rewritten with this one value alone.
    if (!text && fs::exists(fileOf(app), ec)) return false;
    auto sections = parse(text.value_or(""));
    Section* target = nullptr;
    // A hand-edited file may repeat a section: readers take the first, so the value goes there.
    for (auto& s : sections)
        if (s.name == section && !target) target = &s;
    if (!target) {
        sections.push_back({std::string(section), {}});
        target = &sections.back();
    }
    bool found = false;
    for (auto& [k, v] : target->entries)
        if (k == key) {
            v = value;
            found = true;
        }
    if (!found) target->entries.emplace_back(std::string(key), std::string(value));
    fs::create_directories(folder_, ec);
    return writeFileAtomically(fileOf(app), format(sections));
}

bool IniSettingsStore::remove(std::string_view app, std::string_view section, std::string_view key) {
    std::error_code ec;
    auto text = readWholeFile(fileOf(app));
    if (!text) return !fs::exists(fileOf(app), ec);
    auto sections = parse(*text);
    bool changed = false;
    for (auto& s : sections) {
        if (s.name != section) continue;
        std::erase_if(s.entries, [&](const auto& e) {
            bool match = e.first == key;
            changed = changed || match;
            return match;
        });
    }
    if (!changed) return true;
    return writeFileAtomically(fileOf(app), format(sections));
}

}  // namespace zorvan
