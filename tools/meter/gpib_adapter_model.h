// The emulated "++" GPIB adapter's own commands: what it answers, and when it reads the instrument.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// The bus controller between the program and the emulated instrument. Lines
// that begin "++" are handled here; the emulator passes every other line to
// the instrument (when it is the one addressed) and keeps its answers until
// the adapter reads them.
class GpibAdapterModel {
public:
    static constexpr std::string_view kVersion = "VELMORA-EMU GPIB adapter version 1.0";

    struct Outcome {
        std::string toController;     // the adapter's own answer, line end included
        bool readInstrument = false;  // "++read": hand over what the instrument answered
        bool clearInstrument = false; // "++clr": the instrument drops its output
    };

    explicit GpibAdapterModel(int instrumentAddress)
        : instrumentAddress_(instrumentAddress) {}

    Outcome Handle(std::string_view line);

    // Whether the instrument on the bus is the one the program talks to.
    bool InstrumentAddressed() const { return address_ == instrumentAddress_; }
    // "++auto 1": the instrument is read after every query by itself.
    bool AutoRead() const { return autoRead_; }
    int VersionQueries() const { return versionQueries_; }
    int Clears() const { return clears_; }

private:
    int instrumentAddress_;
    int address_ = 0;
    bool autoRead_ = true; // as the adapters start
    int versionQueries_ = 0;
    int clears_ = 0;
};

} // namespace velmora
