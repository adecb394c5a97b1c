// The meter profiles Velmora knows.
#include "acquisition/meter_profile.h"

#include <cctype>

namespace velmora {

const MeterProfile& Profile34401A() {
    static const MeterProfile profile{
        .model = "34401A class",
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
        .functionTimeoutMs = {},
        .identifies = {},
    };
    return profile;
}

namespace {

// The 34401A's command set where the line itself gives remote mode (GPIB's
// REN) or needs none (a socket; there "SYST:REM" is -113): a line feed ends
// each line, and nothing is asked for on connecting or leaving.
MeterProfile WithoutRemoteMode(std::string model) {
    MeterProfile p = Profile34401A();
    p.model = std::move(model);
    p.terminator = "\n";
    p.remoteMode.clear();
    p.remotePauseMs = 0;
    p.localMode.clear();
    return p;
}

} // namespace

const MeterProfile& Profile34401AGpib() {
    static const MeterProfile profile = WithoutRemoteMode("34401A class (GPIB)");
    return profile;
}

const MeterProfile& ProfileLanMeter() {
    static const MeterProfile profile = WithoutRemoteMode("3446x/3447x class");
    return profile;
}

std::vector<const MeterProfile*> KnownProfiles() {
    return {&Profile34401A(), &Profile34401AGpib(), &ProfileLanMeter()};
}

std::string LowerCaseAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

const MeterProfile* ProfileNamed(std::string_view model) {
    for (const MeterProfile* profile : KnownProfiles()) {
        if (LowerCaseAscii(profile->model) == LowerCaseAscii(model)) {
            return profile;
        }
    }
    return nullptr;
}

const MeterProfile& ProfileForIdentity(std::string_view identity, bool gpib) {
    if (!gpib) {
        return ProfileLanMeter();
    }
    // "maker,model,serial,firmware": the model is the second field.
    const size_t comma = identity.find(',');
    const std::string_view rest =
        comma == std::string_view::npos ? std::string_view() : identity.substr(comma + 1);
    const std::string_view model = rest.substr(0, rest.find(','));
    return model.find("34401A") != std::string_view::npos ? Profile34401AGpib() : ProfileLanMeter();
}

} // namespace velmora
