// libFuzzer target: the table reply as any server, broken or hostile, might send it.
// Checks the reader's promises besides memory safety: never more records than asked for or
// than 500, and a place only when the TransID is really followed by one.

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>

#include "online/score_wire.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // The first two bytes choose how many records are asked for, as a signed 16-bit InTop.
    const auto inTop = static_cast<std::int16_t>(data[0] | (data[1] << 8));
    const std::string_view reply(reinterpret_cast<const char*>(data + 2), size - 2);

    auto records = zorvan::parseTableReply(reply, inTop);
    if (records.size() > 500 || static_cast<int>(records.size()) > std::max<int>(inTop, 0)) std::abort();
    for (const auto& r : records)
        if (r.name.find('^') != std::string::npos || r.name.size() > reply.size()) std::abort();

    for (std::string_view tid : {"1234", "-1", "0"}) {
        std::int32_t place = zorvan::findPlace(reply, tid);
        if (place != 0 && reply.find(":" + std::string(tid) + "@") == std::string_view::npos) std::abort();
    }
    return 0;
}
