// The "++" adapter transport on its own: what it makes of a command, and why it cannot be had.
// The test entry (a QCoreApplication) is in socket_transport_test.cpp.
#include "transports/device_line.h"
#include "transports/gpib_adapter_transport.h"
#include "transports/socket_transport.h"
#include "transports/transport_error.h"

#include "tests/settings/temp_folder.h"
#include "tools/meter/pseudo_terminal.h"
#include "tools/meter/tcp_listener.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

namespace velmora {
namespace {

using namespace std::chrono_literals;

struct CommandRow {
    const char* command; // as the engine sends it, terminator and all
    const char* toAdapter;
    bool query;
};

const CommandRow kCommands[] = {
    {"Func?\n", "Func?\n", true},
    {"Read?\r\n", "Read?\n", true},
    {"SYST:ERR?\n", "SYST:ERR?\n", true},
    {"Meas:Volt:DC? 10,0.001\n", "Meas:Volt:DC? 10,0.001\n", true},
    {"DISP OFF\n", "DISP OFF\n", false},
    {"VOLT:DC:NPLC 10\n", "VOLT:DC:NPLC 10\n", false},
    {"*CLS\n", "*CLS\n", false},
    {"*OPC?\n", "*OPC?\n", true},
    // Data the adapter would take for its own is escaped with ESC.
    {"CALC:NULL:OFFS +1.5\n", "CALC:NULL:OFFS \x1b+1.5\n", false},
    {"DISP:TEXT \"A\x1b\"\n", "DISP:TEXT \"A\x1b\x1b\"\n", false},
    {"DISP:TEXT \"A\rB\"\n", "DISP:TEXT \"A\x1b\rB\"\n", false},
    // A query anywhere in a list is answered.
    {"TRIG:SOUR IMM; SAMP:COUN?\n", "TRIG:SOUR IMM; SAMP:COUN?\n", true},
    {"DISP:TEXT \"WHY?\"\n", "DISP:TEXT \"WHY?\"\n", false},
};

TEST(GpibAdapterTransport, EscapesDataAndReadsAfterEveryQuery) {
    for (const CommandRow& row : kCommands) {
        EXPECT_EQ(GpibAdapterTransport::Escaped(row.command), row.toAdapter) << row.command;
        EXPECT_EQ(GpibAdapterTransport::IsQuery(row.command), row.query) << row.command;
    }
}

TransportError::Reason ReasonOpening(GpibAdapterTransport& adapter) {
    try {
        adapter.open();
    } catch (const TransportError& error) {
        EXPECT_FALSE(adapter.isOpen());
        return error.reason();
    }
    ADD_FAILURE() << "opened";
    return TransportError::Reason::Other;
}

// Silent, gone or held: each has its reason, and only a passing one is tried again.
TEST(GpibAdapterTransport, SaysWhyTheAdapterCannotBeHad) {
    PseudoTerminal nobodyAnswers;
    GpibAdapterTransport onPty(std::make_unique<DeviceLine>(nobodyAnswers.SlavePath()), 22,
                               "the pty");
    onPty.setVersionTimeout(200ms);
    EXPECT_EQ(ReasonOpening(onPty), TransportError::Reason::AdapterSilent);
    // It asked the adapter to set up and say its version before giving up.
    const std::string asked = nobodyAnswers.Read(200, 500ms);
    EXPECT_NE(asked.find("++addr 22\n"), std::string::npos) << asked;
    EXPECT_NE(asked.find("++ver\n"), std::string::npos) << asked;

    TcpListener acceptsOnly(0); // the connection is made, nothing is ever said
    GpibAdapterTransport onTcp(std::make_unique<SocketTransport>("127.0.0.1", acceptsOnly.Port()),
                               3, "the port");
    onTcp.setVersionTimeout(200ms);
    EXPECT_EQ(ReasonOpening(onTcp), TransportError::Reason::AdapterSilent);

    test::TempFolder folder;
    GpibAdapterTransport unplugged(std::make_unique<DeviceLine>(folder / "ttyUSB9"), 1, "it");
    EXPECT_EQ(ReasonOpening(unplugged), TransportError::Reason::Unreachable);
    EXPECT_TRUE(unplugged.retryAfterOpenError(
        TransportError(TransportError::Reason::AdapterSilent, "silent")));

    GpibAdapterTransport notATerminal(std::make_unique<DeviceLine>("/dev/null"), 1, "it");
    EXPECT_EQ(ReasonOpening(notATerminal), TransportError::Reason::Other);
    EXPECT_FALSE(notATerminal.retryAfterOpenError(
        TransportError(TransportError::Reason::Other, "not a terminal")));
}

} // namespace
} // namespace velmora
