// Meter profiles written as text: one profile a file, "key = value" lines over the 34401A class.
#pragma once

#include "acquisition/meter_profile.h"

#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// A profile file starts from the 34401A class and changes what it names:
//
//   # comments and blank lines are skipped
//   model = 3446x/3447x class        (required; the Meter choice shows it)
//   terminator = LF                  (LF, CR LF or CR)
//   remote mode =                    (empty: none asked for)
//   remote pause ms = 0
//   local mode =
//   function query = Func?
//   read query = Read?               (or INIT;:FETC? for meters that want both)
//   measure prefix = Meas
//   error query = SYST:ERR?
//   most error reads = 20
//   display off = DISP OFF
//   display on = DISP ON
//   silence note ms = 2000
//   reply timeout ms = 10000         (besides the time a reading integrates)
//   power line cycle s = 0.02
//   function timeout ms FREQ = 1000  (more time for one function's reading)
//   identifies = 34461A, 34465A      (models in "*IDN?" answers that choose it)
//
// Keys are matched without regard to letter case; values are taken as
// written, blanks around them aside.
struct ProfileFileResult {
    std::optional<MeterProfile> profile;
    int problemLine = 0; // 0: the file as a whole
    std::string problem;
};

ProfileFileResult ParseProfileFile(std::string_view text);

} // namespace velmora
