// What one kind of meter needs said to it: the cycle's command texts, terminator and waits.
#pragma once

#include <string>

namespace velmora {

// The cycle is the same for every SCPI meter; the words and the waits are
// not. A profile is data, so a new meter is a new profile, not a new branch.
struct MeterProfile {
    std::string model;         // for people: "34401A-class"
    std::string terminator;    // appended to every command
    std::string remoteMode;    // the first command of a connection
    int remotePauseMs = 0;     // the meter's time to enter remote mode
    std::string localMode;     // the last command: the front panel back
    std::string functionQuery; // answers the function's quoted name
    std::string readQuery;     // answers a reading (or a burst of them)
    std::string measurePrefix; // measure queries start with it and preset the meter
    std::string errorQuery;    // one entry of the error queue
    int mostErrorReads = 0;    // the queue's depth: more reads only repeat "No error"
    std::string displayOff;
    std::string displayOn;
    int silenceNoteMs = 0;            // an answer this late is worth a note
    int replyTimeoutBaseMs = 0;       // besides the time the query may take to measure
    double powerLineCycleSeconds = 0; // integration times are counted in these
};

// The 34401A and meters that speak as it does, on RS-232.
const MeterProfile& Profile34401A();

} // namespace velmora
