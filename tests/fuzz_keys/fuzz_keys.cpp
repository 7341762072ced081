// libFuzzer target: keys.dat as a player's editor, a full disk or a broken copy may leave it.
// Either eleven codes that the writer gives back unchanged, or a refusal.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "menus/key_map.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto codes = zorvan::parseKeysFile(bytes);
    if (!codes) return 0;
    const auto again = zorvan::parseKeysFile(zorvan::formatKeysFile(*codes));
    if (!again || *again != *codes) std::abort();
    return 0;
}
