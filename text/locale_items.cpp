// LocaleItems: the raw POSIX locale texts the regional settings are built from.
#include "text/locale_items.h"

#include "text/time_format_items.h"

#include <langinfo.h>
#include <locale.h>

namespace velmora {

namespace {

// A text setting had room for 255 characters including its terminator; a
// longer one is treated as unreadable.
constexpr size_t kMaxTextSettingLength = 254;

// One locale category, released when it goes out of scope.
class CategoryLocale {
public:
    CategoryLocale(int categoryMask, const char* localeName)
        : locale_(newlocale(categoryMask, localeName, static_cast<locale_t>(nullptr))) {}
    ~CategoryLocale() {
        if (locale_ != static_cast<locale_t>(nullptr)) {
            freelocale(locale_);
        }
    }
    CategoryLocale(const CategoryLocale&) = delete;
    CategoryLocale& operator=(const CategoryLocale&) = delete;

    bool Loaded() const { return locale_ != static_cast<locale_t>(nullptr); }
    std::string Item(nl_item item) const {
        const char* text = nl_langinfo_l(item, locale_);
        return text != nullptr ? std::string(text) : std::string();
    }

private:
    locale_t locale_;
};

std::optional<std::string> FittingText(const std::optional<std::string>& text) {
    if (text && text->size() <= kMaxTextSettingLength) {
        return text;
    }
    return std::nullopt;
}

} // namespace

LocaleItems ReadLocaleItems(const char* localeName) {
    LocaleItems items;
    const CategoryLocale numeric(LC_NUMERIC_MASK, localeName);
    if (numeric.Loaded()) {
        items.radixChar = numeric.Item(RADIXCHAR);
    }
    const CategoryLocale time(LC_TIME_MASK, localeName);
    if (time.Loaded()) {
        items.timeFormat = time.Item(T_FMT);
        items.ampmTimeFormat = time.Item(T_FMT_AMPM);
        items.amText = time.Item(AM_STR);
        items.pmText = time.Item(PM_STR);
    }
    return items;
}

RegionalSettings RegionalSettingsFromItems(const LocaleItems& items) {
    RegionalSettings settings;
    if (items.radixChar && items.radixChar->size() == 1) {
        settings.decimalMark = (*items.radixChar)[0];
    }
    if (items.timeFormat) {
        const TimeFormatItems time =
            AnalyseTimeFormats(*items.timeFormat, items.ampmTimeFormat.value_or(""));
        if (time.timeMark != '\0') {
            settings.timeMark = time.timeMark;
        }
        settings.longTimePattern = BuildLongTimePattern(time);
    }
    if (const auto am = FittingText(items.amText)) {
        settings.amText = *am;
    }
    if (const auto pm = FittingText(items.pmText)) {
        settings.pmText = *pm;
    }
    return settings;
}

} // namespace velmora
