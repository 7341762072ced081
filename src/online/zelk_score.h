#pragma once
// The online score client: keeps the last finished game as the pending score in the
// settings store, with check values that reveal a hand-edited one; submits it to the score
// server, finds the place it earned, reads the top of a table and uploads statistics.
// Every request waits for its end (at most the HTTP port's 10 s) while the game thread pumps
// its messages; failures come back as result codes, never as exceptions.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "online/score_wire.h"
#include "platform/ports.h"

namespace zorvan {

class Platform;

class zelkScore {
public:
    // Where the server's address is kept, and the address used when none is.
    static constexpr std::string_view kServerApp = "Kestrine";
    static constexpr std::string_view kServerSection = "zorvan";
    static constexpr std::string_view kServerKey = "scoreserver";
    static constexpr std::string_view kDefaultServer = "http://127.0.0.1:28517";
    static constexpr int kOnlineTimeoutMs = 2000;

    // Result codes of validateScore, sendScore and sendStats.
    enum Result : int {
        kValid = 0,
        kNoPendingScore = 1,
        kCheckFailed = 2,
        kBelowCutoff = 3,
        kNotConnected = 4,
        kRequestFailed = 5,
    };

    // State numbers of the transfer, as cnt_StateChanged passes them on.
    enum TransferState : int { kRequesting = 5, kTransferError = 11, kResponseCompleted = 12 };

    // `pump` lets the window process its pending messages (between statistics pieces).
    zelkScore(Platform& platform, std::function<void()> pump);
    zelkScore(const zelkScore&) = delete;
    zelkScore& operator=(const zelkScore&) = delete;

    // True when a connection to the score server opens within 2 s.
    bool Online();

    // Keeps a finished game as the pending score. 0 points store nothing (an older pending
    // score stays); cheating stores 50 points. A non-empty strStats is written, trimmed, as
    // one line to `whichFile` (a name in the program folder). False when the settings
    // store or the file refused a write.
    bool storeScore(std::string_view whichFile, std::int32_t lngScore, std::int32_t lngDifficulty,
                    std::int32_t lngWave, std::string_view strStats, bool blnCheating);

    void userName(std::string value) { userName_ = std::move(value); }
    const std::string& userName() const { return userName_; }
    void useremail(std::string value) { useremail_ = std::move(value); }
    const std::string& useremail() const { return useremail_; }
    void usercountry(std::string value) { usercountry_ = std::move(value); }
    const std::string& usercountry() const { return usercountry_; }

    int validateScore(std::int32_t cutoff);
    int sendScore(std::int32_t cutoff);
    // The place of this run's last submission in the top `inTop` of its difficulty: 0 when
    // it is not there, -1 when the server gave no answer.
    std::int32_t checkScore(std::int16_t inTop);
    // Empties the pending score; deletes `file` first when it is not empty.
    void wackScore(std::string_view file);

    // Reads the top `inTop` (at most 500) of a difficulty (1 easy, 2 normal, 3 crazy): 0, or
    // -1 when the server gave no answer.
    int obtainRemoteData(std::int16_t inTop, std::int32_t intDifficulty);
    std::int32_t numReturned() const { return remoteCount; }
    // Record 1..numReturned(); 0 or "" for any other number.
    std::int32_t obtainScore(std::int32_t lngWhich) const;
    std::string obtainName(std::int32_t lngWhich) const;
    std::int32_t obtainLevel(std::int32_t lngWhich) const;

    // Sends the text of `file` in pieces of 1000 characters, attached to this run's last
    // submission.
    int sendStats(std::string_view file);

    // True while a request is under way (seen from inside the state-change listener or
    // from the window's messages pumped meanwhile).
    bool stillWorking() const { return working_; }
    // Stops the statistics upload under way before its next piece (it answers 5).
    void cancelOp() { cancelRequested_ = true; }
    // Passes a transfer state number on to the listener.
    void cnt_StateChanged(int State);
    void setStateChangedListener(std::function<void(int state)> listener) { stateChanged_ = std::move(listener); }

    const std::string& transactionId() const { return transactionId_; }
    const std::string& serverAddress() const { return server_; }

private:
    struct Pending {
        std::string stored;  // "rgsv"
        std::int64_t points = 0;
        std::string digit;   // its last character
    };
    // validateScore's steps 1 to 3 (results 1 and 2), then the cutoff (result 3).
    int checkPending(std::int64_t cutoff, bool useCutoff, Pending& pending);
    // Pumps the window's messages until the call is done.
    HttpReply await(std::unique_ptr<HttpCall> call);
    // Offers the replay of the run so far to the server, for the submission just made.
    void sendReplay();
    // A reply whose status is 2xx, or nothing.
    bool request(const std::string& url, std::string* body);
    std::string setting(std::string_view app, std::string_view section, std::string_view key);
    std::int64_t secondsSinceMidnight();

    Platform& platform_;
    std::function<void()> pump_;
    std::function<void(int)> stateChanged_;
    std::string server_;

    std::string userName_, useremail_, usercountry_;
    std::string transactionId_;
    std::int32_t remoteCount = 0;
    std::array<std::int32_t, kMaxRemoteRecords + 1> remoteScores{};
    std::array<std::int32_t, kMaxRemoteRecords + 1> remoteLevels{};
    std::array<std::string, kMaxRemoteRecords + 1> remoteNames{};
    bool working_ = false;
    bool cancelRequested_ = false;
};

}  // namespace zorvan
