// Regional settings: installed locales, time-format analysis, item fallbacks.
#include "text/locale_items.h"
#include "text/regional_settings.h"
#include "text/time_format_items.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <locale.h>
#include <string>

namespace velmora {
namespace {

bool LocaleInstalled(const char* name) {
    const locale_t locale = newlocale(LC_ALL_MASK, name, static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr)) {
        return false;
    }
    freelocale(locale);
    return true;
}

struct LocaleRow {
    const char* locale;
    RegionalSettings expected;
    bool markerFirst;
};

const LocaleRow kLocales[] = {
    {"C", {'.', ':', "AM", "PM", "hh:mm:ss"}, false},
    {"en_US.UTF-8", {'.', ':', "AM", "PM", "hh:mm:ss AMPM"}, false},
    {"de_DE.UTF-8", {',', ':', "", "", "hh:mm:ss"}, false},
    {"fr_FR.UTF-8", {',', ':', "", "", "hh:mm:ss"}, false},
    {"ja_JP.UTF-8", {'.', ':', "午前", "午後", "hh:mm:ss"}, true},
};

class InstalledLocale : public testing::TestWithParam<LocaleRow> {};

TEST_P(InstalledLocale, GivesSettings) {
    const LocaleRow& row = GetParam();
    if (!LocaleInstalled(row.locale)) {
        GTEST_SKIP() << "locale " << row.locale << " is not installed; scripts/setup generates it";
    }
    const RegionalSettings settings = RegionalSettingsForLocale(row.locale);
    EXPECT_EQ(settings.decimalMark, row.expected.decimalMark);
    EXPECT_EQ(settings.timeMark, row.expected.timeMark);
    EXPECT_EQ(settings.amText, row.expected.amText);
    EXPECT_EQ(settings.pmText, row.expected.pmText);
    EXPECT_EQ(settings.longTimePattern, row.expected.longTimePattern);
    const LocaleItems items = ReadLocaleItems(row.locale);
    ASSERT_TRUE(items.timeFormat && items.ampmTimeFormat);
    EXPECT_EQ(AnalyseTimeFormats(*items.timeFormat, *items.ampmTimeFormat).markerFirst,
              row.markerFirst);
}

INSTANTIATE_TEST_SUITE_P(Table, InstalledLocale, testing::ValuesIn(kLocales),
                         [](const auto& testInfo) {
                             std::string name = testInfo.param.locale;
                             return name.substr(0, name.find('.'));
                         });

TEST(RegionalSettings, MissingLocaleGivesDefaults) {
    EXPECT_EQ(RegionalSettingsForLocale("xx_NOWHERE.UTF-8"), RegionalSettings{});
    EXPECT_EQ(RegionalSettings{}.longTimePattern, "h:mm:ss AMPM");
}

TEST(RegionalSettings, ReadStoresEnvironmentLocaleAndLeavesGlobalLocale) {
    if (!LocaleInstalled("de_DE.UTF-8")) {
        GTEST_SKIP() << "locale de_DE.UTF-8 is not installed; scripts/setup generates it";
    }
    const RegionalSettings saved = CurrentRegionalSettings();
    const char* oldAll = std::getenv("LC_ALL");
    const std::string restoreAll = oldAll != nullptr ? oldAll : "";
    const std::string globalBefore = std::setlocale(LC_ALL, nullptr);
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    ReadRegionalSettings();
    EXPECT_EQ(CurrentRegionalSettings(), RegionalSettingsForLocale("de_DE.UTF-8"));
    EXPECT_EQ(CurrentRegionalSettings().decimalMark, ',');
    EXPECT_EQ(std::setlocale(LC_ALL, nullptr), globalBefore);
    if (oldAll != nullptr) {
        setenv("LC_ALL", restoreAll.c_str(), 1);
    } else {
        unsetenv("LC_ALL");
    }
    SetRegionalSettings(saved);
}

struct FormatRow {
    const char* name;
    const char* timeFormat;
    const char* ampmFormat;
    bool twelveHour, leadingZero, markerFirst;
    char timeMark;
    const char* pattern;
};

const FormatRow kFormats[] = {
    {"posix", "%H:%M:%S", "%I:%M:%S %p", false, true, false, ':', "hh:mm:ss"},
    {"r_expands_to_ampm_format", "%r", "%I:%M:%S %p", true, true, false, ':', "hh:mm:ss AMPM"},
    {"l_has_no_zero", "%l:%M:%S %p", "%l:%M:%S %p", true, false, false, ':', "h:mm:ss AMPM"},
    {"k_with_dots", "%k.%M.%S", "", false, false, false, '.', "h:mm:ss"},
    {"t_expands", "%T", "", false, true, false, ':', "hh:mm:ss"},
    {"r_capital_has_no_seconds", "%R", "", false, true, false, '\0', "hh:mm:ss"},
    {"words_between", "%H時%M分%S秒", "%p%I時%M分%S秒", false, true, true, '\0', "hh:mm:ss"},
    {"marker_first_12_hour", "%p %I:%M:%S", "%p %I:%M:%S", true, true, true, ':', "AMPM hh:mm:ss"},
    {"minus_flag_drops_zero", "%-I:%M:%S %p", "", true, false, false, ':', "h:mm:ss AMPM"},
    {"zero_flag_adds_zero", "%0k:%M:%S", "", false, true, false, ':', "hh:mm:ss"},
    {"alternative_digits", "%OH:%OM:%OS", "", false, true, false, ':', "hh:mm:ss"},
    {"marks_differ", "%H:%M.%S", "", false, true, false, '\0', "hh:mm:ss"},
    {"long_mark", "%H h %M h %S", "", false, true, false, '\0', "hh:mm:ss"},
    {"no_format", "", "", true, false, false, '\0', "h:mm:ss AMPM"},
    {"escaped_percent_is_no_hour", "%%H:%M:%S", "", true, false, false, '\0', "h:mm:ss AMPM"},
    {"r_with_empty_ampm_format", "%r", "", true, false, false, '\0', "h:mm:ss AMPM"},
    {"r_inside_ampm_format_not_recursive", "%r", "%r", true, false, false, '\0', "h:mm:ss AMPM"},
    {"trailing_percent", "%H:%M:%S %", "", false, true, false, ':', "hh:mm:ss"},
};

TEST(AnalyseTimeFormats, Table) {
    for (const FormatRow& row : kFormats) {
        SCOPED_TRACE(row.name);
        const TimeFormatItems items = AnalyseTimeFormats(row.timeFormat, row.ampmFormat);
        EXPECT_EQ(items.twelveHour, row.twelveHour);
        EXPECT_EQ(items.leadingZero, row.leadingZero);
        EXPECT_EQ(items.markerFirst, row.markerFirst);
        EXPECT_EQ(items.timeMark, row.timeMark);
        EXPECT_EQ(BuildLongTimePattern(items), row.pattern);
    }
}

TEST(RegionalSettingsFromItems, UnusableItemsKeepDefaults) {
    LocaleItems items;
    items.radixChar = "\xD9\xAB"; // a two-byte radix
    EXPECT_EQ(RegionalSettingsFromItems(items), RegionalSettings{});
    items.radixChar = "";
    EXPECT_EQ(RegionalSettingsFromItems(items).decimalMark, '.');
    items.radixChar = ",";
    EXPECT_EQ(RegionalSettingsFromItems(items).decimalMark, ',');

    items.amText = std::string(255, 'a');
    items.pmText = std::string(254, 'p');
    const RegionalSettings texts = RegionalSettingsFromItems(items);
    EXPECT_EQ(texts.amText, "am");
    EXPECT_EQ(texts.pmText, std::string(254, 'p'));
    EXPECT_EQ(texts.longTimePattern, "h:mm:ss AMPM"); // no LC_TIME formats
    items.pmText = std::string(255, 'p');
    EXPECT_EQ(RegionalSettingsFromItems(items).pmText, "pm") << "too long to show: the default";

    items.timeFormat = "%H.%M.%S";
    items.amText = "";
    const RegionalSettings dotted = RegionalSettingsFromItems(items);
    EXPECT_EQ(dotted.timeMark, '.');
    EXPECT_EQ(dotted.amText, "");
    EXPECT_EQ(dotted.longTimePattern, "hh:mm:ss");
}

} // namespace
} // namespace velmora
