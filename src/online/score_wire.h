#pragma once
// The score server's wire format, client side: the three request URLs and the reading of a
// table reply. Pure functions, no ports, so the parser can be fuzzed on its own.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zorvan {

inline constexpr std::string_view kScoreGameName = "zorvan";
inline constexpr std::string_view kScoreGameId = "48zr517";
inline constexpr std::int64_t kVerifyOffset = 538;  // UserNameVerify = points + 538
inline constexpr int kMaxRemoteRecords = 500;       // records a table reply is read for

// Every byte but A-Z a-z 0-9 - . _ ~ as %XX, so any value reaches the server as typed and
// can never add or change a parameter.
std::string percentEncode(std::string_view value);

// "fuck", "bitch", "shit", "bastard", "asshole", "ass hole", case-sensitively, each by "****".
std::string filterWords(std::string_view text);

struct SubmissionFields {
    std::string userName;        // already filtered
    std::string userEmail;       // already filtered
    std::string userCountry;
    std::string transactionId;
    std::string storedScore;     // "rgsv": the points followed by the difficulty digit
    std::int64_t points = 0;     // "rgsv" without its last character
    std::string difficultyDigit; // the last character of "rgsv"
    std::string gameLevel;       // "gameLev" as stored
};

// `base` is the server's address without a trailing '/', e.g. "http://127.0.0.1:28517".
std::string submissionUrl(std::string_view base, const SubmissionFields& f);
std::string tableUrl(std::string_view base, std::int64_t inTop, std::string_view difficultyDigit);
std::string statsUrl(std::string_view base, std::int64_t points, std::string_view piece,
                     std::string_view transactionId, std::string_view storedScore,
                     std::string_view difficultyDigit);
// Where the replay of the run that made submission `transactionId` is posted.
std::string replayUrl(std::string_view base, std::string_view transactionId);

struct RemoteRecord {
    std::int32_t score = 0;
    std::string name;
    std::int32_t level = 0;
};

// Reads the records of a table reply, ";" score "~" name "^" level "[]", at most
// min(maxRecords, 500). Text around the records is skipped; a record cut short, or whose
// score or level is not a number, ends the reading (the records before it are kept).
std::vector<RemoteRecord> parseTableReply(std::string_view reply, int maxRecords);

// The place after ":" transactionId "@" up to the next ";"; 0 when the TransID is not in
// the reply or its place is not a number.
std::int32_t findPlace(std::string_view reply, std::string_view transactionId);

// A whole number in decimal, blanks around it allowed; false for anything else or a value
// beyond 32 bits.
bool parseWholeNumber(std::string_view text, std::int32_t& out);

// The leading decimal part of a text (blanks before it skipped, a sign allowed), 0 when
// there is none; saturates instead of overflowing.
std::int64_t leadingNumber(std::string_view text);

}  // namespace zorvan
