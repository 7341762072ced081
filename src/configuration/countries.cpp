#include "countries.h"

#include "profile_form.h"

namespace configuration {

QStringList countryEntries() {
    QStringList entries;
    entries.reserve(static_cast<qsizetype>(profile::kCountryCount));
    for (std::u16string_view entry : profile::countryList())
        entries << QString::fromUtf16(entry.data(), static_cast<qsizetype>(entry.size()));
    return entries;
}

}  // namespace configuration
