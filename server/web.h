#pragma once
// The web side of zorvan-scores: the three tables as HTML pages, a player's page, and the
// tables as JSON for other clients. Pages are rendered from one template with
// escaping by context; the top of each table comes from the same snapshot as the game's
// reply, and rendered pages are kept until the store's change stamp moves.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "table_cache.h"
#include "text.h"
#include "wire.h"

namespace zorvan::scores {

struct WebReply {
    int status = 200;
    std::string contentType;
    std::shared_ptr<const std::string> body;
};

inline constexpr int kWebPageRows = 100;      // rows on a page unless limit= says otherwise
inline constexpr int kRecentGames = 20;       // games on a player's page
inline constexpr std::int64_t kMaxOffset = 1'000'000'000;

class WebPages {
public:
    WebPages(ScoreStore& store, TableCache& cache);

    WebReply home();
    WebReply table(const QueryParams& q);      // /table?difficulty=easy&offset=0&limit=100
    WebReply player(const QueryParams& q);     // /player?name=...
    WebReply apiTable(const QueryParams& q);   // /api/table?difficulty=easy&offset=0&limit=100
    WebReply notFound();                       // any other path
    static WebReply serverError();             // the store failed
    // The store lists verified scores only; the front page says so.
    void setVerifiedOnly(bool on) { verifiedOnly_ = on; }

private:
    struct Cached {
        std::uint64_t stamp = 0;
        std::shared_ptr<const std::string> body;
    };
    std::shared_ptr<const std::string> cached(const std::string& key, std::uint64_t stamp);
    void keep(const std::string& key, std::uint64_t stamp, const std::shared_ptr<const std::string>& body);

    ScoreStore& store_;
    TableCache& cache_;
    std::mutex mutex_;
    std::map<std::string, Cached> pages_;
    bool verifiedOnly_ = false;
};

// "easy", "normal", "crazy" to the difficulty digit (9, 8, 7); 0 for anything else.
int digitOfDifficulty(std::string_view name);

}  // namespace zorvan::scores
