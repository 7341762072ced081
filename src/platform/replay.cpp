#include "platform/replay.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <ctime>
#include <limits>
#include <set>
#include <stdexcept>
#include <system_error>

#include "platform/data_folder.h"

namespace zorvan {

namespace fs = std::filesystem;

namespace {

// No run lasts anywhere near this long; a bigger time is damage, and keeping below it leaves
// room to add to times without overflow.
constexpr std::int64_t kMaxTimeMs = std::int64_t{1} << 45;
constexpr std::uint32_t kMaxCall = 1000000;
constexpr std::size_t kMaxDateText = 64;

constexpr std::string_view kMagic = "zorvan-replay";
constexpr std::string_view kReplayExtension = ".replay";

// Bytes that could break a line or a field, and every byte outside printable ASCII, are
// written as \xHH; a value is preceded by '=' so that an empty one is still a field.
std::string escapeField(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "=";
    out.reserve(bytes.size() + 1);
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b >= 0x7f || c == '\\') {
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 15];
        } else {
            out += c;
        }
    }
    return out;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::string> unescapeField(std::string_view field) {
    if (field.empty() || field[0] != '=') return std::nullopt;
    field.remove_prefix(1);
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c != '\\') {
            // The writer escapes these; a file that has them raw was changed on the way.
            if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7f) return std::nullopt;
            out += c;
            continue;
        }
        if (i + 3 >= field.size() || field[i + 1] != 'x') return std::nullopt;
        const int hi = hexValue(field[i + 2]), lo = hexValue(field[i + 3]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
        i += 3;
    }
    return out;
}

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t pos = 0;
    while (pos <= line.size()) {
        const std::size_t end = std::min(line.find(' ', pos), line.size());
        fields.push_back(line.substr(pos, end - pos));
        pos = end + 1;
    }
    return fields;
}

template <class T>
std::optional<T> number(std::string_view text, T low, T high) {
    if (text.empty() || text.size() > 20) return std::nullopt;
    if (text[0] == '+' || (text.size() > 1 && text[0] == '0') || (text.size() > 2 && text[0] == '-' && text[1] == '0'))
        return std::nullopt;  // one spelling per value
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high) return std::nullopt;
    return value;
}

std::string snapshotLine(std::string_view kind, const ReplaySnapshot& s) {
    return std::string(kind) + ' ' + s.name + ' ' + (s.bytes ? escapeField(*s.bytes) : std::string("-"));
}

std::string inputLine(const ReplayInput& in) {
    std::string line = std::to_string(in.atMs) + ' ';
    switch (in.kind) {
        case ReplayInput::Kind::Key: return line + "key " + std::to_string(in.key);
        case ReplayInput::Kind::Close: return line + "close";
        case ReplayInput::Kind::HttpReply:
            line += "http " + std::to_string(in.call) + ' ';
            if (in.reply.ok) return line + "ok " + std::to_string(in.reply.status) + ' ' + escapeField(in.reply.body);
            return line + "fail " + escapeField(in.reply.error);
        case ReplayInput::Kind::Wake: return line + "wake " + std::to_string(in.fromMs);
        case ReplayInput::Kind::Date:
            return line + "date " + escapeField(in.date.shortDate) + ' ' + escapeField(in.date.longTime) + ' ' +
                   std::to_string(in.date.secondsSinceMidnight);
        case ReplayInput::Kind::Speech:
            return line + (in.speechError.empty() ? "speech ok" : "speech fail " + escapeField(in.speechError));
    }
    throw std::logic_error("unknown kind of replay input");
}

bool knownSettingsApp(std::string_view name) {
    return std::find(kReplaySettingsApps.begin(), kReplaySettingsApps.end(), name) != kReplaySettingsApps.end();
}

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    std::optional<Replay> read(std::string* error) {
        try {
            return readAll();
        } catch (const std::runtime_error& e) {
            if (error) *error = e.what();
            return std::nullopt;
        }
    }

private:
    [[noreturn]] void fail(const std::string& why) const {
        throw std::runtime_error(lineNumber_ ? "line " + std::to_string(lineNumber_) + ": " + why : why);
    }

    // The next whole line; nothing at the end of the text or before a line cut short.
    std::optional<std::string_view> nextLine() {
        const std::size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos) return std::nullopt;
        std::string_view line = text_.substr(pos_, end - pos_);
        pos_ = end + 1;
        ++lineNumber_;
        return line;
    }

    std::string_view requireLine(std::string_view what) {
        auto line = nextLine();
        if (!line) fail("the replay ends before its " + std::string(what));
        return *line;
    }

    template <class T>
    T field(std::string_view text, T low, T high, std::string_view what) const {
        auto value = number<T>(text, low, high);
        if (!value) fail("bad " + std::string(what) + " '" + std::string(text.substr(0, 24)) + "'");
        return *value;
    }

    std::string bytesField(std::string_view text, std::string_view what) const {
        auto bytes = unescapeField(text);
        if (!bytes) fail("badly escaped " + std::string(what));
        return *bytes;
    }

    void expectFields(const std::vector<std::string_view>& fields, std::size_t count) const {
        if (fields.size() != count)
            fail("'" + std::string(fields.size() > 1 ? fields[1] : fields[0]).substr(0, 24) + "' takes " +
                 std::to_string(count - 1) + " values, not " + std::to_string(fields.size() - 1));
    }

    Replay readAll() {
        if (text_.size() > kMaxReplayBytes)
            fail("the replay is " + std::to_string(text_.size()) + " bytes, more than " +
                 std::to_string(kMaxReplayBytes));
        Replay replay;
        {
            auto fields = splitFields(requireLine("format line"));
            if (fields.size() != 2 || fields[0] != kMagic) fail("not a replay");
            replay.format = field<int>(fields[1], 0, std::numeric_limits<int>::max(), "format");
            if (replay.format != kReplayFormat)
                fail("replay format " + std::to_string(replay.format) + ", this program reads format " +
                     std::to_string(kReplayFormat));
        }
        {
            auto fields = splitFields(requireLine("program version"));
            if (fields.size() != 2 || fields[0] != "version") fail("the program version is missing");
            replay.programVersion = bytesField(fields[1], "program version");
        }
        {
            auto fields = splitFields(requireLine("seed"));
            if (fields.size() != 2 || fields[0] != "seed") fail("the seed is missing");
            replay.seed = field<std::uint64_t>(fields[1], 0, std::numeric_limits<std::uint64_t>::max(), "seed");
        }
        std::set<std::string, std::less<>> files, apps;
        for (;;) {
            auto fields = splitFields(requireLine("start line"));
            if (fields.size() == 1 && fields[0] == "start") break;
            const bool isFile = fields[0] == "file";
            if (!isFile && fields[0] != "settings") fail("unknown header line '" + std::string(fields[0]).substr(0, 24) + "'");
            expectFields(fields, 3);
            const std::string name(fields[1]);
            if (isFile ? !isPlayerFile(name) : !knownSettingsApp(name))
                fail("'" + name.substr(0, 24) + "' is no " + (isFile ? "player file" : "application with settings"));
            if (!(isFile ? files : apps).insert(name).second) fail("'" + name + "' is there twice");
            ReplaySnapshot snapshot{name, std::nullopt};
            if (fields[2] != "-") snapshot.bytes = bytesField(fields[2], name);
            (isFile ? replay.files : replay.settings).push_back(std::move(snapshot));
        }

        std::int64_t last = 0;
        std::set<std::uint32_t> answered;
        while (auto line = nextLine()) {
            if (replay.exitStatus) fail("something follows the exit");
            auto fields = splitFields(*line);
            if (fields.size() < 2) fail("an input needs a time and a kind");
            const std::int64_t at = field<std::int64_t>(fields[0], 0, kMaxTimeMs, "time");
            if (at < last) fail("time goes back from " + std::to_string(last) + " to " + std::to_string(at));
            const std::string_view kind = fields[1];
            ReplayInput in;
            in.atMs = at;
            if (kind == "exit") {
                expectFields(fields, 3);
                replay.exitStatus = field<int>(fields[2], std::numeric_limits<int>::min(),
                                               std::numeric_limits<int>::max(), "exit status");
                last = at;
                continue;
            }
            if (kind == "key") {
                expectFields(fields, 3);
                in.kind = ReplayInput::Kind::Key;
                in.key = field<int>(fields[2], 1, 255, "key");
            } else if (kind == "close") {
                expectFields(fields, 2);
                in.kind = ReplayInput::Kind::Close;
            } else if (kind == "http") {
                if (fields.size() < 4) fail("'http' takes a request number and a reply");
                in.kind = ReplayInput::Kind::HttpReply;
                in.call = field<std::uint32_t>(fields[2], 1, kMaxCall, "request number");
                if (!answered.insert(in.call).second) fail("request " + std::to_string(in.call) + " is answered twice");
                if (fields[3] == "ok") {
                    expectFields(fields, 6);
                    in.reply.ok = true;
                    in.reply.status = field<int>(fields[4], 0, 999, "HTTP status");
                    in.reply.body = bytesField(fields[5], "reply body");
                } else if (fields[3] == "fail") {
                    expectFields(fields, 5);
                    in.reply.error = bytesField(fields[4], "failure");
                } else {
                    fail("a reply is 'ok' or 'fail'");
                }
            } else if (kind == "wake") {
                expectFields(fields, 3);
                in.kind = ReplayInput::Kind::Wake;
                in.fromMs = field<std::int64_t>(fields[2], 0, kMaxTimeMs, "wake time");
                if (in.fromMs < last || in.fromMs >= at) fail("a wake-up must go forward from after the last input");
            } else if (kind == "date") {
                expectFields(fields, 5);
                in.kind = ReplayInput::Kind::Date;
                in.date.shortDate = bytesField(fields[2], "date");
                in.date.longTime = bytesField(fields[3], "time");
                if (in.date.shortDate.size() > kMaxDateText || in.date.longTime.size() > kMaxDateText)
                    fail("a date longer than " + std::to_string(kMaxDateText) + " bytes");
                in.date.secondsSinceMidnight = field<int>(fields[4], 0, 86399, "time of day");
            } else if (kind == "speech") {
                in.kind = ReplayInput::Kind::Speech;
                if (fields.size() == 3 && fields[2] == "ok") {
                } else if (fields.size() == 4 && fields[2] == "fail") {
                    in.speechError = bytesField(fields[3], "speech failure");
                    if (in.speechError.empty()) fail("a speech failure needs its reason");
                } else {
                    fail("'speech' is 'ok' or 'fail' with the reason");
                }
            } else {
                fail("unknown kind of input '" + std::string(kind).substr(0, 24) + "'");
            }
            replay.inputs.push_back(std::move(in));
            last = at;
        }
        replay.endMs = last;
        return replay;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    int lineNumber_ = 0;
};

}  // namespace

std::optional<Replay> parseReplay(std::string_view text, std::string* error) { return Reader(text).read(error); }

ReplayWriter::ReplayWriter(const fs::path& path, const std::string& programVersion, std::uint64_t seed,
                           const std::vector<ReplaySnapshot>& files, const std::vector<ReplaySnapshot>& settings) {
    if (!path.empty()) {
        file_.open(path, std::ios::binary | std::ios::trunc);
        if (!file_) throw std::runtime_error("cannot write the replay " + path.string());
    }
    std::string head = std::string(kMagic) + ' ' + std::to_string(kReplayFormat) + '\n';
    head += "version " + escapeField(programVersion) + '\n';
    head += "seed " + std::to_string(seed) + '\n';
    for (const auto& f : files) head += snapshotLine("file", f) + '\n';
    for (const auto& s : settings) head += snapshotLine("settings", s) + '\n';
    head += "start\n";
    write(head);
}

void ReplayWriter::input(const ReplayInput& in) { write(inputLine(in) + '\n'); }

void ReplayWriter::exit(int status, std::int64_t atMs) {
    write(std::to_string(atMs) + " exit " + std::to_string(status) + '\n');
}

void ReplayWriter::write(const std::string& lines) {
    text_ += lines;
    if (file_.is_open()) file_ << lines << std::flush;
}

fs::path newReplayPath(const fs::path& dataFolder) {
    const fs::path folder = dataFolder / kReplaysFolder;
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder)) throw std::runtime_error("cannot create " + folder.string() + ": " + ec.message());

    // Named by the start in UTC, so that names sort by age whatever the clocks change.
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &seconds);
#else
    gmtime_r(&seconds, &utc);
#endif
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d-%02d%02d%02d-%03d", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(ms));

    std::vector<fs::path> old;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        if (entry.path().extension() == kReplayExtension && entry.is_regular_file(ec)) old.push_back(entry.path());
    std::sort(old.begin(), old.end());
    for (std::size_t i = 0; i + kReplaysKept <= old.size(); ++i) fs::remove(old[i], ec);

    fs::path path = folder / (std::string(stamp) + std::string(kReplayExtension));
    for (int n = 2; fs::exists(path, ec); ++n)
        path = folder / (std::string(stamp) + '-' + std::to_string(n) + std::string(kReplayExtension));
    return path;
}

}  // namespace zorvan
