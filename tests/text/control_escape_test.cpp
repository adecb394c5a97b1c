// Control characters made visible, text left as it is.
#include "text/control_escape.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora {
namespace {

TEST(EscapeControls, ControlsAndBrokenBytesBecomeVisibleTextStays) {
    const struct {
        const char* name;
        std::string text;
        std::string shown;
    } rows[] = {
        {"plain", "+1.0E+00 V", "+1.0E+00 V"},
        {"escape sequence and bell", "a\x1b]0;x\x07z", "a\\x1b]0;x\\x07z"},
        {"first and last of C0", std::string("\x00\x1f", 2), "\\x00\\x1f"},
        {"line end and tab", "a\r\n\tb", "a\\x0d\\x0a\\x09b"},
        {"delete", "a\x7f", "a\\x7f"},
        {"raw C1 byte",
         "a\x9b"
         "2J",
         "a\\x9b2J"},
        {"C1 control written in UTF-8", "a\xc2\x85z", "a\\u0085z"},
        {"no-break space is text", "a\xc2\xa0z", "a\xc2\xa0z"},
        {"letters beyond ASCII", "r\xc3\xa9sum\xc3\xa9 \xc4\x85", "r\xc3\xa9sum\xc3\xa9 \xc4\x85"},
        {"four-byte character", "\xf0\x9f\x94\x8b", "\xf0\x9f\x94\x8b"},
        {"cut-off sequence", "a\xc3", "a\\xc3"},
        {"overlong slash", "\xc0\xaf", "\\xc0\\xaf"},
        {"surrogate", "\xed\xa0\x80", "\\xed\\xa0\\x80"},
        {"past Unicode", "\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
        {"space and tilde stay", " ~", " ~"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(EscapeControls(row.text), row.shown);
    }
}

} // namespace
} // namespace velmora
