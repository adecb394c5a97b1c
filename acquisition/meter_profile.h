// What one kind of meter needs said to it: the cycle's command texts, terminator and waits.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// The cycle is the same for every SCPI meter; the words and the waits are
// not. A profile is data, so a new meter is a new profile, not a new branch.
struct MeterProfile {
    std::string model;         // for people, and the Meter choice: "34401A class"
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
    // More time for a function's reading than integration gives it (a
    // counter's gate, an AC filter's settling), by the function's name.
    std::map<std::string, int> functionTimeoutMs;
    // Model names in a meter's "*IDN?" answer that choose this profile.
    std::vector<std::string> identifies;

    bool operator==(const MeterProfile&) const = default;
};

// The 34401A and meters that speak as it does, on RS-232.
const MeterProfile& Profile34401A();
// The same meter through a GPIB adapter: the bus puts it in remote mode and
// a line feed (with EOI) ends each line.
const MeterProfile& Profile34401AGpib();
// The 3446x/3447x and 34410A class on the network (a raw socket): the same
// command set, a line feed ends each line, no remote mode to ask for.
const MeterProfile& ProfileLanMeter();

// Model names, profile keys and *IDN? fields are compared without regard to letter case.
std::string LowerCaseAscii(std::string_view text);

// Every profile, in the order the Meter choice offers them.
std::vector<const MeterProfile*> KnownProfiles();
// By its model text, letter case aside; null when there is none of that name.
const MeterProfile* ProfileNamed(std::string_view model);
// From a meter's "*IDN?" answer. On a socket the LAN rules hold whatever
// the meter calls itself (a LAN meter in its 34401A personality is still on
// a socket); through a GPIB adapter a 34401A is a 34401A, any other meter
// is taken for the LAN class's command set without its socket.
const MeterProfile& ProfileForIdentity(std::string_view identity, bool gpib);

} // namespace velmora
