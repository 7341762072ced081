#include "online/zelk_score.h"

#include <algorithm>
#include <system_error>
#include <vector>

#include "platform/ports.h"
#include "platform/replay.h"

namespace zorvan {

namespace {

// Where the pending score lives: application, section, key.
struct Entry {
    std::string_view app, section, key;
};
constexpr Entry kStored{"zorvan", "installation", "rgsv"};      // points + difficulty digit
constexpr Entry kDifficulty{"zorvan", "installation", "rgsv2"};  // difficulty number
constexpr Entry kLevel{"zorvan", "settings", "gameLev"};
constexpr Entry kStamp{"zorvan", "keyboard", "identify"};       // seconds since midnight + 4271
constexpr Entry kCheck{"w32csp", "settings", "setupInfo"};      // points + 2647

constexpr std::int64_t kStampOffset = 4271;
constexpr std::int64_t kCheckOffset = 2647;
constexpr std::size_t kStatsPiece = 1000;     // characters per statistics request
constexpr std::size_t kMaxStatsText = 32767;  // longer texts are refused

std::string_view trimSpaces(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

std::string replaceAll(std::string_view text, std::string_view what, std::string_view with) {
    std::string out;
    std::size_t from = 0, at;
    while ((at = text.find(what, from)) != std::string_view::npos) {
        out.append(text.substr(from, at - from));
        out.append(with);
        from = at + what.size();
    }
    out.append(text.substr(from));
    return out;
}

}  // namespace

zelkScore::zelkScore(Platform& platform, std::function<void()> pump)
    : platform_(platform), pump_(std::move(pump)) {
    server_ = platform_.settings().get(kServerApp, kServerSection, kServerKey, kDefaultServer);
    while (!server_.empty() && server_.back() == '/') server_.pop_back();
    if (server_.empty()) server_ = kDefaultServer;
}

std::string zelkScore::setting(std::string_view app, std::string_view section, std::string_view key) {
    return platform_.settings().get(app, section, key, "0");
}

std::int64_t zelkScore::secondsSinceMidnight() { return platform_.localDateTime().secondsSinceMidnight; }

HttpReply zelkScore::await(std::unique_ptr<HttpCall> call) {
    // The window keeps answering while the request runs; closing it ends the program from
    // inside the pump, and the call is abandoned on the way out.
    while (pump_ && !call->done()) pump_();
    call->wait();
    return call->reply();
}

bool zelkScore::Online() { return await(platform_.http().startConnect(server_, kOnlineTimeoutMs)).ok; }

void zelkScore::cnt_StateChanged(int State) {
    if (stateChanged_) stateChanged_(State);
}

bool zelkScore::request(const std::string& url, std::string* body) {
    working_ = true;
    cnt_StateChanged(kRequesting);
    HttpReply reply = await(platform_.http().startGet(url));
    working_ = false;
    // An error status is a failed request: the server did not take or did not answer it.
    const bool ok = reply.ok && reply.status >= 200 && reply.status < 300;
    cnt_StateChanged(ok ? kResponseCompleted : kTransferError);
    if (ok && body) *body = std::move(reply.body);
    return ok;
}

bool zelkScore::storeScore(std::string_view whichFile, std::int32_t lngScore, std::int32_t lngDifficulty,
                           std::int32_t lngWave, std::string_view strStats, bool blnCheating) {
    const std::int64_t points = blnCheating ? 50 : lngScore;
    std::string stored = std::to_string(points);
    if (lngDifficulty >= 1 && lngDifficulty <= 5) stored += std::to_string(10 - lngDifficulty);
    const std::int64_t stamp = secondsSinceMidnight() + kStampOffset;
    if (points == 0) return true;

    bool ok = true;
    if (!strStats.empty()) {
        std::string line(trimSpaces(strStats));
        line += "\r\n";
        ok = platform_.files().write(whichFile, line);
    }
    SettingsStore& s = platform_.settings();
    ok = s.set(kStamp.app, kStamp.section, kStamp.key, std::to_string(stamp)) && ok;
    ok = s.set(kStored.app, kStored.section, kStored.key, stored) && ok;
    ok = s.set(kDifficulty.app, kDifficulty.section, kDifficulty.key, std::to_string(lngDifficulty)) && ok;
    ok = s.set(kLevel.app, kLevel.section, kLevel.key, std::to_string(lngWave)) && ok;
    ok = s.set(kCheck.app, kCheck.section, kCheck.key, std::to_string(points + kCheckOffset)) && ok;
    return ok;
}

int zelkScore::checkPending(std::int64_t cutoff, bool useCutoff, Pending& pending) {
    pending.stored = setting(kStored.app, kStored.section, kStored.key);
    const std::string check = setting(kCheck.app, kCheck.section, kCheck.key);
    const std::string stamp = setting(kStamp.app, kStamp.section, kStamp.key);
    if (pending.stored == "0") return kNoPendingScore;
    if (leadingNumber(stamp) < kStampOffset) return kCheckFailed;
    const std::string_view stored = pending.stored;
    pending.points = stored.empty() ? 0 : leadingNumber(stored.substr(0, stored.size() - 1));
    pending.digit = stored.empty() ? std::string() : std::string(stored.substr(stored.size() - 1));
    if (leadingNumber(check) - kCheckOffset != pending.points) return kCheckFailed;
    if (useCutoff && pending.points < cutoff) return kBelowCutoff;
    return kValid;
}

int zelkScore::validateScore(std::int32_t cutoff) {
    Pending pending;
    return checkPending(cutoff, true, pending);
}

int zelkScore::sendScore(std::int32_t cutoff) {
    Pending pending;
    if (int r = checkPending(cutoff, true, pending); r != kValid) return r;
    const std::string level = setting(kLevel.app, kLevel.section, kLevel.key);
    if (!Online()) return kNotConnected;

    SubmissionFields f;
    f.userName = filterWords(userName_);
    f.userEmail = filterWords(useremail_);
    f.userCountry = usercountry_;
    // The tick count as a signed 32-bit number, wrapping like the system's.
    transactionId_ = std::to_string(static_cast<std::int32_t>(static_cast<std::uint32_t>(platform_.nowMs())));
    f.transactionId = transactionId_;
    f.storedScore = pending.stored;
    f.points = pending.points;
    f.difficultyDigit = pending.digit;
    f.gameLevel = level;
    if (!request(submissionUrl(server_, f), nullptr)) return kRequestFailed;
    sendReplay();
    return kValid;
}

void zelkScore::sendReplay() {
    // The server replays the run up to this submission before it trusts the score. Nothing
    // waits for its answer, so the run goes on the same whatever becomes of it.
    std::optional<std::string> replay = platform_.replaySoFar();
    if (!replay || replay->size() > kMaxReplayBytes) return;
    platform_.http().postInBackground(replayUrl(server_, transactionId_), std::move(*replay));
}

std::int32_t zelkScore::checkScore(std::int16_t inTop) {
    const std::string stored = setting(kStored.app, kStored.section, kStored.key);
    const std::string digit = stored.empty() ? std::string() : stored.substr(stored.size() - 1);
    std::string reply;
    if (!request(tableUrl(server_, inTop, digit), &reply) || reply.empty()) return -1;
    if (transactionId_.empty()) return 0;
    return findPlace(reply, transactionId_);
}

void zelkScore::wackScore(std::string_view file) {
    if (!file.empty()) platform_.files().remove(file);
    SettingsStore& s = platform_.settings();
    for (const Entry& e : {kStamp, kStored, kDifficulty, kLevel, kCheck}) s.set(e.app, e.section, e.key, "0");
}

int zelkScore::obtainRemoteData(std::int16_t inTop, std::int32_t intDifficulty) {
    remoteCount = 0;
    std::string reply;
    const std::string digit = std::to_string(10 - static_cast<std::int64_t>(intDifficulty));
    if (!request(tableUrl(server_, inTop, digit), &reply) || reply.empty()) return -1;
    std::vector<RemoteRecord> records = parseTableReply(reply, inTop);
    for (RemoteRecord& r : records) {
        ++remoteCount;
        remoteScores[static_cast<std::size_t>(remoteCount)] = r.score;
        remoteLevels[static_cast<std::size_t>(remoteCount)] = r.level;
        remoteNames[static_cast<std::size_t>(remoteCount)] = std::move(r.name);
    }
    return 0;
}

std::int32_t zelkScore::obtainScore(std::int32_t lngWhich) const {
    if (lngWhich < 0 || lngWhich > remoteCount) return 0;
    return remoteScores[static_cast<std::size_t>(lngWhich)];
}

std::string zelkScore::obtainName(std::int32_t lngWhich) const {
    if (lngWhich < 0 || lngWhich > remoteCount) return {};
    return remoteNames[static_cast<std::size_t>(lngWhich)];
}

std::int32_t zelkScore::obtainLevel(std::int32_t lngWhich) const {
    if (lngWhich < 0 || lngWhich > remoteCount) return 0;
    return remoteLevels[static_cast<std::size_t>(lngWhich)];
}

int zelkScore::sendStats(std::string_view file) {
    cancelRequested_ = false;
    auto bytes = platform_.files().read(file);
    if (!bytes) return kRequestFailed;
    const std::string text = replaceAll(trimSpaces(*bytes), "\r\n", "<br>");
    if (text.size() > kMaxStatsText) return kRequestFailed;

    Pending pending;
    if (int r = checkPending(0, false, pending); r != kValid) return r;
    if (!Online()) return kNotConnected;

    const std::size_t pieces = text.empty() ? 1 : (text.size() + kStatsPiece - 1) / kStatsPiece;
    for (std::size_t i = 0; i < pieces; ++i) {
        if (cancelRequested_) return kRequestFailed;
        std::string_view piece = std::string_view(text).substr(std::min(text.size(), i * kStatsPiece), kStatsPiece);
        if (!request(statsUrl(server_, pending.points, piece, transactionId_, pending.stored, pending.digit), nullptr))
            return kRequestFailed;
        if (pump_) pump_();
    }
    return kValid;
}

}  // namespace zorvan
