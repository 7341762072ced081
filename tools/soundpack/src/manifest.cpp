#include "manifest.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

#include "fx.h"

namespace zorvan::soundpack {

namespace {

std::string trim(const std::string& s) {
    std::size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    return s.substr(a, b - a);
}

double parseNumber(const std::string& s, const std::string& what) {
    try {
        std::size_t used = 0;
        const double v = std::stod(s, &used);
        if (used != s.size()) throw std::invalid_argument(s);
        return v;
    } catch (const std::exception&) {
        throw std::runtime_error(what + " is not a number: \"" + s + "\"");
    }
}

Segment parseSegment(const std::string& raw) {
    const std::string s = trim(raw);
    const auto colon = s.find(':');
    if (colon == std::string::npos) throw std::runtime_error("segment without ':' in \"" + s + "\"");
    std::string head = s.substr(0, colon);
    Segment seg;
    seg.arg = trim(s.substr(colon + 1));
    if (const auto br = head.find('['); br != std::string::npos) {
        if (head.back() != ']') throw std::runtime_error("unclosed options in \"" + s + "\"");
        std::stringstream opts(head.substr(br + 1, head.size() - br - 2));
        head = head.substr(0, br);
        std::string item;
        while (std::getline(opts, item, ',')) {
            const auto eq = item.find('=');
            if (eq == std::string::npos) throw std::runtime_error("option without '=' in \"" + s + "\"");
            const std::string key = trim(item.substr(0, eq));
            if (key != "pan" && key != "over" && key != "dur" && key != "fade" && key != "edge")
                throw std::runtime_error("unknown option \"" + key + "\" in \"" + s + "\"");
            seg.options[key] = parseNumber(trim(item.substr(eq + 1)), key);
        }
    }
    if (head == "say") {
        seg.kind = Segment::Kind::Say;
        if (seg.arg.empty()) throw std::runtime_error("nothing to say in \"" + s + "\"");
    } else if (head == "fx") {
        seg.kind = Segment::Kind::Fx;
        if (!findFx(seg.arg)) throw std::runtime_error("unknown sound generator \"" + seg.arg + "\"");
    } else if (head == "gap") {
        seg.kind = Segment::Kind::Gap;
        if (parseNumber(seg.arg, "gap") < 0) throw std::runtime_error("negative gap");
    } else {
        throw std::runtime_error("unknown segment kind \"" + head + "\"");
    }
    if (seg.options.count("edge") && (seg.kind != Segment::Kind::Say || seg.option("edge", 0.0) < -90.0 || seg.option("edge", 0.0) > -30.0))
        throw std::runtime_error("edge is for say, -90 to -30 dBFS, in \"" + s + "\"");
    const double pan = seg.option("pan", 0.0);
    if (pan < -1.0 || pan > 1.0) throw std::runtime_error("pan outside -1..1 in \"" + s + "\"");
    if (seg.option("over", 0.0) < 0 || seg.option("dur", 1.0) <= 0 || seg.option("fade", 0.0) < 0)
        throw std::runtime_error("negative timing option in \"" + s + "\"");
    return seg;
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

}  // namespace

const char* typeName(ClipType t) {
    switch (t) {
        case ClipType::Speech: return "speech";
        case ClipType::Effect: return "effect";
        case ClipType::Loop: return "loop";
    }
    return "?";
}

std::vector<Segment> parseRecipe(const std::string& recipe) {
    std::vector<Segment> segs;
    std::size_t at = 0;
    while (true) {
        const auto plus = recipe.find(" + ", at);
        segs.push_back(parseSegment(recipe.substr(at, plus == std::string::npos ? std::string::npos : plus - at)));
        if (plus == std::string::npos) break;
        at = plus + 3;
    }
    return segs;
}

std::vector<Clip> parseManifest(const std::string& text, const std::string& sourceName) {
    std::vector<Clip> clips;
    std::set<std::string> seen;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string t = trim(line);
        if (t.empty() || t[0] == '#') continue;
        try {
            std::istringstream fields(t);
            Clip c;
            c.line = number;
            std::string rate, channels, type;
            if (!(fields >> c.path >> rate >> channels >> type)) throw std::runtime_error("needs path, rate, channels, type and recipe");
            std::getline(fields, c.recipe);
            c.recipe = trim(c.recipe);
            if (c.recipe.empty()) throw std::runtime_error("no recipe");
            if (c.path.find("..") != std::string::npos || c.path.find('\\') != std::string::npos || c.path.front() == '/')
                throw std::runtime_error("path must be relative, with '/' separators: " + c.path);
            if (c.path.rfind("sounds/", 0) != 0 && c.path.find('/') != std::string::npos)
                throw std::runtime_error("path must lie in sounds/ or in the game folder itself: " + c.path);
            c.rate = static_cast<int>(parseNumber(rate, "rate"));
            if (c.rate < 8000 || c.rate > 48000) throw std::runtime_error("rate outside 8000..48000");
            c.channels = static_cast<int>(parseNumber(channels, "channels"));
            if (c.channels != 1 && c.channels != 2) throw std::runtime_error("channels must be 1 or 2");
            if (type == "speech") c.type = ClipType::Speech;
            else if (type == "effect") c.type = ClipType::Effect;
            else if (type == "loop") c.type = ClipType::Loop;
            else throw std::runtime_error("type must be speech, effect or loop, not " + type);
            c.segments = parseRecipe(c.recipe);
            if (c.type == ClipType::Speech) {
                for (const auto& s : c.segments)
                    if (s.kind == Segment::Kind::Fx) throw std::runtime_error("a speech clip holds words and gaps only");
                if (c.segments.front().kind != Segment::Kind::Say || c.segments.back().kind != Segment::Kind::Say)
                    throw std::runtime_error("a speech clip starts and ends with words");
            }
            if (c.type == ClipType::Loop) {
                if (c.segments.size() != 1 || c.segments[0].kind != Segment::Kind::Fx || !findFx(c.segments[0].arg)->loop ||
                    !c.segments[0].options.empty())
                    throw std::runtime_error("a loop is exactly one loop generator, without options");
            }
            if (!seen.insert(lower(c.path)).second) throw std::runtime_error("listed twice: " + c.path);
            clips.push_back(std::move(c));
        } catch (const std::exception& e) {
            throw std::runtime_error(sourceName + ":" + std::to_string(number) + ": " + e.what());
        }
    }
    return clips;
}

std::vector<Clip> loadManifest(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read the manifest " + path);
    std::stringstream ss;
    ss << in.rdbuf();
    return parseManifest(ss.str(), path);
}

}  // namespace zorvan::soundpack
