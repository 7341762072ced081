#pragma once
// Stored bytes made fit for a UTF-8 web page or a URL. No dependencies, so the fuzz target
// builds it as it is.

#include <string>
#include <string_view>

namespace zorvan::scores {

// Stored bytes as text for a UTF-8 page: kept when they are UTF-8, otherwise read as
// Windows-1252 (the game's own code page); control characters become U+FFFD.
std::string displayText(std::string_view bytes);

// Every byte but the unreserved ones as %XX, for a query value.
std::string percentEncode(std::string_view bytes);

}  // namespace zorvan::scores
