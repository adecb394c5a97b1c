// LocaleItems: the raw POSIX locale texts the regional settings are built from.
#pragma once

#include "text/regional_settings.h"

#include <optional>
#include <string>

namespace velmora {

// Each text as the locale holds it; empty optionals where the locale's
// category (LC_NUMERIC or LC_TIME) could not be loaded.
struct LocaleItems {
    std::optional<std::string> radixChar;      // RADIXCHAR
    std::optional<std::string> timeFormat;     // T_FMT, e.g. "%H:%M:%S" or "%r"
    std::optional<std::string> ampmTimeFormat; // T_FMT_AMPM, e.g. "%I:%M:%S %p"
    std::optional<std::string> amText;         // AM_STR
    std::optional<std::string> pmText;         // PM_STR
};

// Reads the items of a locale by name ("" is the environment's) through
// newlocale/nl_langinfo_l, leaving the global locale alone. Each category is
// loaded on its own, so a missing LC_TIME locale does not cost the decimal
// mark and vice versa.
LocaleItems ReadLocaleItems(const char* localeName);

// Builds the settings from the items: the decimal mark is the radix when it
// is one byte; the time items come from the time formats (see
// AnalyseTimeFormats); the AM/PM texts are taken as they are, possibly empty,
// when they fit 254 bytes. Anything missing or unusable keeps its default.
RegionalSettings RegionalSettingsFromItems(const LocaleItems& items);

} // namespace velmora
