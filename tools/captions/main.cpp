// zorvan-captions: the caption table of the game window, made from the sound pack's manifest.
//
//   zorvan-captions MANIFEST OUT [SPOKEN]
//
// Writes one line per clip that has words: its path, a tab, and the words it says, in the
// order of the manifest. The window shows them while the clip plays. SPOKEN gets the same
// lines for the clips of words only, which the system speech can say in their place.

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

// The words of a recipe: every say segment, joined by a blank.
std::string wordsOf(const std::string& recipe) {
    std::string words;
    std::size_t start = 0;
    while (start <= recipe.size()) {
        std::size_t end = recipe.find(" + ", start);
        if (end == std::string::npos) end = recipe.size();
        const std::string segment = trim(recipe.substr(start, end - start));
        start = end + 3;
        std::size_t colon = segment.find(':');
        const std::size_t bracket = segment.find('[');
        std::string kind = segment.substr(0, std::min(colon, bracket));
        if (kind != "say" || colon == std::string::npos) continue;
        if (bracket != std::string::npos && bracket < colon) {
            const std::size_t close = segment.find(']', bracket);
            if (close == std::string::npos) continue;
            colon = segment.find(':', close);
            if (colon == std::string::npos) continue;
        }
        const std::string text = trim(segment.substr(colon + 1));
        if (text.empty()) continue;
        if (!words.empty()) words += ' ';
        words += text;
    }
    return words;
}

bool writeWhole(const std::string& out, const std::string& text) {
    const std::string temp = out + ".tmp";
    {
        std::ofstream file(temp, std::ios::binary | std::ios::trunc);
        file << text;
        if (!file.flush()) {
            std::cerr << "zorvan-captions: cannot write " << temp << '\n';
            return false;
        }
    }
    if (std::rename(temp.c_str(), out.c_str()) != 0) {
        std::cerr << "zorvan-captions: cannot write " << out << '\n';
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 3 && argc != 4) {
        std::cerr << "usage: zorvan-captions MANIFEST OUT [SPOKEN]\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::cerr << "zorvan-captions: cannot read " << argv[1] << '\n';
        return 1;
    }
    std::ostringstream table, spoken;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        const std::string content = trim(line);
        if (content.empty() || content[0] == '#') continue;
        std::istringstream fields(content);
        std::string path, rate, channels, type;
        if (!(fields >> path >> rate >> channels >> type)) {
            std::cerr << argv[1] << ':' << number << ": fewer than five columns\n";
            return 1;
        }
        std::string recipe;
        std::getline(fields, recipe);
        const std::string words = wordsOf(trim(recipe));
        if (type == "speech" && words.empty()) {
            std::cerr << argv[1] << ':' << number << ": a speech clip without words\n";
            return 1;
        }
        if (!words.empty()) table << path << '\t' << words << '\n';
        if (type == "speech") spoken << path << '\t' << words << '\n';
    }
    if (!writeWhole(argv[2], table.str())) return 1;
    if (argc == 4 && !writeWhole(argv[3], spoken.str())) return 1;
    return 0;
}
