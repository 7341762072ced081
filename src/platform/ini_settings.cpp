#include "platform/ini_settings.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>
#include <vector>

#include "platform/data_folder.h"
#include "platform/folder_files.h"

namespace zorvan {

namespace fs = std::filesystem;

namespace {

// The file as its lines, so that a rewrite keeps what it does not understand: comments,
// blank lines, lines without '=' and entries before the first section stay as they were.
struct Line {
    std::string text;     // as read, without its line end
    std::string section;  // the section it stands in ("" before the first header)
    bool header = false;
    bool entry = false;   // "key=value" inside a section
    std::string key;
};

std::vector<Line> parse(const std::string& text) {
    std::vector<Line> lines;
    std::string section;
    bool inSection = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        Line line;
        line.text = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.text.empty() && line.text.back() == '\r') line.text.pop_back();
        const std::string& t = line.text;
        if (!t.empty() && t.front() == '[' && t.back() == ']') {
            section = t.substr(1, t.size() - 2);
            line.header = true;
        } else if (!t.empty() && t[0] != ';' && t[0] != '#' && t.find('=') != std::string::npos) {
            line.entry = true;
            line.key = t.substr(0, t.find('='));
        }
        // Before the first header a "key=value" line belongs to no section: kept, never read.
        inSection = inSection || line.header;
        line.entry = line.entry && inSection;
        line.section = section;
        lines.push_back(std::move(line));
    }
    return lines;
}

bool isEntry(const Line& line, std::string_view section, std::string_view key) {
    return line.entry && line.section == section && line.key == key;
}

std::string valueOf(const Line& line) { return unescapeIniValue(std::string_view(line.text).substr(line.key.size() + 1)); }

std::string entryText(std::string_view key, std::string_view value) {
    return std::string(key) + '=' + escapeIniValue(value);
}

std::string format(const std::vector<Line>& lines) {
    std::string out;
    // Lines end in LF; one whose own text ends in CR gets CR LF, since a reader takes a CR
    // before the LF for part of the line end and the text's own CR would be lost.
    for (const auto& line : lines) {
        out += line.text;
        if (!line.text.empty() && line.text.back() == '\r') out += '\r';
        out += '\n';
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
#ifdef _WIN32
    const fs::path data = defaultDataFolder();
    return data.empty() ? fs::path() : data / "settings";
#endif
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
    removeStaleTemporaries(app);
    auto text = readWholeFile(fileOf(app));
    if (!text) return std::string(fallback);
    for (const auto& line : parse(*text))
        if (isEntry(line, section, key)) return valueOf(line);
    return std::string(fallback);
}

bool IniSettingsStore::set(std::string_view app, std::string_view section, std::string_view key,
                           std::string_view value) {
    removeStaleTemporaries(app);
    std::error_code ec;
    auto text = readWholeFile(fileOf(app));
    // A store that exists but cannot be read is not rewritten with this one value alone.
    if (!text && fs::exists(fileOf(app), ec)) return false;
    auto lines = parse(text.value_or(""));
    bool found = false;
    std::size_t endOfSection = lines.size();  // after the last entry or header of the section
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (isEntry(lines[i], section, key)) {
            lines[i].text = entryText(key, value);
            found = true;
        }
        if (lines[i].section == section && (lines[i].header || lines[i].entry)) endOfSection = i + 1;
    }
    if (!found) {
        Line entry;
        entry.text = entryText(key, value);
        entry.section = std::string(section);
        entry.entry = true;
        entry.key = std::string(key);
        if (endOfSection == lines.size() &&
            std::none_of(lines.begin(), lines.end(), [&](const Line& l) { return l.header && l.section == section; })) {
            Line header;
            header.text = '[' + std::string(section) + ']';
            header.section = entry.section;
            header.header = true;
            lines.push_back(std::move(header));
            endOfSection = lines.size();
        }
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(endOfSection), std::move(entry));
    }
    fs::create_directories(folder_, ec);
    return writeFileAtomically(fileOf(app), format(lines), synced_);
}

bool IniSettingsStore::remove(std::string_view app, std::string_view section, std::string_view key) {
    removeStaleTemporaries(app);
    std::error_code ec;
    auto text = readWholeFile(fileOf(app));
    if (!text) return !fs::exists(fileOf(app), ec);
    auto lines = parse(*text);
    const std::size_t before = lines.size();
    std::erase_if(lines, [&](const Line& l) { return isEntry(l, section, key); });
    if (lines.size() == before) return true;
    // A header left with nothing under it at all goes too, as it came.
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].header && lines[i].section == section &&
            (i + 1 == lines.size() || lines[i + 1].header)) {
            lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    return writeFileAtomically(fileOf(app), format(lines), synced_);
}

void IniSettingsStore::removeStaleTemporaries(std::string_view app) {
    if (!cleaned_.insert(std::string(app)).second) return;
    const std::string name = fileOf(app).filename().string();
    zorvan::removeStaleTemporaries(folder_, [&](std::string_view base) { return base == name; });
}

}  // namespace zorvan
