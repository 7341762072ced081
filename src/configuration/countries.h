#pragma once

#include <QStringList>

namespace configuration {

// The 244 entries of the country list, "CC: Name", in the order shown. Only the two-letter
// code before the colon is stored in the profile; the codes are unique.
QStringList countryEntries();

}  // namespace configuration
