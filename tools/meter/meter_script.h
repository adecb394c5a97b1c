// Canned behaviour for the simulated meter: a script of steps, parsed from text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// One step. Steps that shape an answer wait for the next query and are
// used up by it; the others happen as soon as they come up. When the
// script is used up the meter answers every query by itself again.
struct ScriptStep {
    enum class Kind {
        Answer,   // answer the next query as the simulated meter would
        Reply,    // answer it with `text` (CR LF added)
        Split,    // answer it with `text`, then after `milliseconds` with `rest` (CR LF added)
        Garbage,  // answer it with `count` noise bytes and CR LF
        Overload, // answer it with +9.90000000E+37 (or negative)
        Silence,  // leave it unanswered
        Late,     // answer it as the meter would, but only after `milliseconds`
        Pause,    // wait `milliseconds`
        Send,     // write `text` at once
        Xoff,     // send XOFF (19): the program must stop sending
        Xon,      // send XON (17)
        Hangup,   // close the pseudo-terminal; with `reopen` offer a new one at the same link,
                  // after a gap of `milliseconds` in which the link is gone
    };

    Kind kind = Kind::Answer;
    std::string text;
    std::string rest;
    int milliseconds = 0;
    int count = 0;
    bool negative = false;
    bool reopen = false;

    bool operator==(const ScriptStep&) const = default;
};

// True for the kinds that wait for a query.
bool AnswersQuery(ScriptStep::Kind kind);

// Parses a script, one step per line; blank lines and lines starting with
// "#" are skipped, keywords are case-insensitive, texts take the escapes
// \r \n \t \\ and \xHH:
//   answer
//   reply +1.16040760E+03
//   split 40 +1.1604|0760E+03     (cut at the first "|", 40 ms apart)
//   garbage 12
//   overload            overload -
//   silence
//   late 3000           (the meter's own answer, held 3 s)
//   pause 250
//   send \x13junk\r\n
//   xoff                xon
//   hangup              hangup reopen         hangup reopen 2000  (port gone 2 s)
// Throws std::invalid_argument("line N: ...") for a malformed line.
std::vector<ScriptStep> ParseScript(std::string_view script);

// Decodes the escapes above; throws std::invalid_argument for a bad one.
std::string DecodeEscapes(std::string_view text);

} // namespace velmora
