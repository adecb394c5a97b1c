// The meter profiles Velmora knows.
#include "acquisition/meter_profile.h"

namespace velmora {

const MeterProfile& Profile34401A() {
    static const MeterProfile profile{
        .model = "34401A-class",
        .terminator = "\r\n",
        .remoteMode = "syst:rem",
        .remotePauseMs = 1000,
        .localMode = "syst:loc",
        .functionQuery = "Func?",
        .readQuery = "Read?",
        .measurePrefix = "Meas",
        .errorQuery = "SYST:ERR?",
        .mostErrorReads = 20,
        .displayOff = "DISP OFF",
        .displayOn = "DISP ON",
        .silenceNoteMs = 2000,
        .replyTimeoutBaseMs = 10000,
        // 50 Hz mains: the longer cycle, so a time-out is never too short.
        .powerLineCycleSeconds = 0.02,
    };
    return profile;
}

} // namespace velmora
