// libFuzzer target: a replay as a player's upload, a broken disk or a forger may hand it to the
// score server. Either a refusal with a reason, or a replay that the writer writes back into a
// text that reads as the same replay.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/replay.h"

namespace {

std::string rewritten(const zorvan::Replay& r) {
    zorvan::ReplayWriter w({}, r.programVersion, r.seed, r.files, r.settings);
    for (const auto& in : r.inputs) w.input(in);
    if (r.exitStatus) w.exit(*r.exitStatus, r.endMs);
    return w.text();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto replay = zorvan::parseReplay(text, &error);
    if (!replay) {
        if (error.empty()) std::abort();
        return 0;
    }
    const std::string once = rewritten(*replay);
    const auto again = zorvan::parseReplay(once, &error);
    if (!again || rewritten(*again) != once) std::abort();
    if (again->endMs != replay->endMs || again->inputs.size() != replay->inputs.size()) std::abort();
    return 0;
}
