// Line settings: how properties become the kernel record, and when they reach an open port.
#include "serial/comm.h"
#include "serial/line_settings.h"
#include "tests/serial/serial_test_support.h"

#include <fcntl.h>
#include <unistd.h>

namespace velmora::test {
namespace {

struct ComposeRow {
    const char* name;
    std::function<void(LineConfig&)> change;
    uint32_t cflagSet;   // bits that must be set
    uint32_t cflagClear; // bits that must be clear
    uint32_t iflagSet;
    uint32_t iflagClear;
};

TEST(ComposeLineSettings, MapsEveryLineProperty) {
    const uint32_t parityBits =
        TermFlags::ParityEnable | TermFlags::ParityOdd | TermFlags::ParityStick;
    const uint32_t xonXoff = TermFlags::OutputXonXoff | TermFlags::InputXonXoff;
    const ComposeRow rows[] = {
        {"defaults_8N1_xonxoff", [](LineConfig&) {}, TermFlags::Size8,
         parityBits | TermFlags::TwoStopBits | TermFlags::HardwareFlow, xonXoff,
         TermFlags::InputParityCheck},
        {"odd", [](LineConfig& c) { c.parity = TParity::Odd; },
         TermFlags::ParityEnable | TermFlags::ParityOdd, TermFlags::ParityStick, 0, 0},
        {"even", [](LineConfig& c) { c.parity = TParity::Even; }, TermFlags::ParityEnable,
         TermFlags::ParityOdd | TermFlags::ParityStick, 0, 0},
        {"mark", [](LineConfig& c) { c.parity = TParity::Mark; }, parityBits, 0, 0, 0},
        {"space", [](LineConfig& c) { c.parity = TParity::Space; },
         TermFlags::ParityEnable | TermFlags::ParityStick, TermFlags::ParityOdd, 0, 0},
        {"seven_bits", [](LineConfig& c) { c.byteSize = TByteSize::_7; }, TermFlags::Size7,
         TermFlags::SizeMask & ~TermFlags::Size7, 0, 0},
        {"two_stop_bits", [](LineConfig& c) { c.stopBits = TStopBits::_2; }, TermFlags::TwoStopBits,
         0, 0, 0},
        {"one_and_a_half_stop_bits_become_two", [](LineConfig& c) { c.stopBits = TStopBits::_1_5; },
         TermFlags::TwoStopBits, 0, 0, 0},
        {"cts_output_flow", [](LineConfig& c) { c.outxCtsFlow = true; }, TermFlags::HardwareFlow, 0,
         0, 0},
        {"rts_handshake", [](LineConfig& c) { c.rtsControl = TRtsControl::RtsHandshake; },
         TermFlags::HardwareFlow, 0, 0, 0},
        {"rts_disable_is_no_handshake",
         [](LineConfig& c) { c.rtsControl = TRtsControl::RtsDisable; }, 0, TermFlags::HardwareFlow,
         0, 0},
        {"parity_check", [](LineConfig& c) { c.parityCheck = true; }, 0, 0,
         TermFlags::InputParityCheck, 0},
        {"no_output_xonxoff", [](LineConfig& c) { c.outxXonXoffFlow = false; }, 0, 0,
         TermFlags::InputXonXoff, TermFlags::OutputXonXoff},
        {"no_input_xonxoff", [](LineConfig& c) { c.inxXonXoffFlow = false; }, 0, 0,
         TermFlags::OutputXonXoff, TermFlags::InputXonXoff},
    };
    for (const ComposeRow& row : rows) {
        SCOPED_TRACE(row.name);
        LineConfig config;
        row.change(config);
        TermAttributes a;
        // Start from a cooked terminal with every flag the result must not keep.
        a.cflag = TermFlags::ParityEnable | TermFlags::ParityOdd | TermFlags::TwoStopBits |
                  TermFlags::Size7 | TermFlags::HardwareFlow;
        a.iflag = xonXoff | TermFlags::InputParityCheck;
        a.lflag = TermFlags::Canonical | TermFlags::Echo;
        ComposeLineSettings(config, a);
        EXPECT_EQ(a.cflag & row.cflagSet, row.cflagSet);
        EXPECT_EQ(a.cflag & row.cflagClear, 0u);
        EXPECT_EQ(a.iflag & row.iflagSet, row.iflagSet);
        EXPECT_EQ(a.iflag & row.iflagClear, 0u);
        EXPECT_EQ(a.lflag & (TermFlags::Canonical | TermFlags::Echo), 0u) << "raw mode";
        EXPECT_EQ(a.cflag & TermFlags::FreeSpeed, TermFlags::FreeSpeed);
        EXPECT_EQ(a.ospeed, config.baudRate);
        EXPECT_EQ(a.ispeed, config.baudRate);
    }
}

TEST(ComposeLineSettings, FlowControlCharactersAndAnySpeed) {
    LineConfig config;
    config.xonChar = 'Q';
    config.xoffChar = 'S';
    config.baudRate = 3200;
    TermAttributes a;
    ComposeLineSettings(config, a);
    EXPECT_EQ(a.cc[TermFlags::StartCharIndex], 'Q');
    EXPECT_EQ(a.cc[TermFlags::StopCharIndex], 'S');
    EXPECT_EQ(a.ospeed, 3200u);
}

class CommSettingsTest : public PtyCommTest {
protected:
    // The slave's settings as the kernel holds them (read through the
    // fixture's own descriptor: the component holds the port exclusively).
    TermAttributes SlaveSettings() {
        TermAttributes a;
        EXPECT_EQ(DefaultPortIo().GetAttributes(pty.HeldSlaveFd(), &a), 0);
        return a;
    }
};

TEST_F(CommSettingsTest, BaudRateWhileClosedWaitsForTheNextOpen) {
    comm->SetBaudRate(19200);
    EXPECT_EQ(io.setAttributesCalls, 0);
    OpenAndSettle();
    EXPECT_EQ(SlaveSettings().ospeed, 19200u);
    EXPECT_EQ(comm->AppliedLineSettings().value().ospeed, 19200u);
    EXPECT_EQ(SlaveSettings().lflag & (TermFlags::Canonical | TermFlags::Echo), 0u);
}

TEST_F(CommSettingsTest, LineSettingChangedWhileOpenIsAppliedAtOnce) {
    OpenAndSettle();
    const int writes = io.setAttributesCalls;
    comm->SetBaudRate(3200); // not a standard rate
    EXPECT_EQ(io.setAttributesCalls, writes + 1);
    EXPECT_EQ(SlaveSettings().ospeed, 3200u);
    EXPECT_EQ(comm->AppliedLineSettings().value().ospeed, 3200u);

    comm->SetOutx_XonXoffFlow(false);
    EXPECT_EQ(io.setAttributesCalls, writes + 2);
    EXPECT_EQ(SlaveSettings().iflag & TermFlags::OutputXonXoff, 0u);
    EXPECT_EQ(SlaveSettings().ospeed, 3200u) << "the whole record is written again";

    // The flow-control characters, as a meter with other ones needs them.
    comm->SetXonChar('Q');
    comm->SetXoffChar('S');
    EXPECT_EQ(io.setAttributesCalls, writes + 4);
    EXPECT_EQ(SlaveSettings().cc[TermFlags::StartCharIndex], 'Q');
    EXPECT_EQ(SlaveSettings().cc[TermFlags::StopCharIndex], 'S');
}

TEST_F(CommSettingsTest, EqualValuesAndStoredOnlyPropertiesDoNotTouchThePort) {
    OpenAndSettle();
    const int writes = io.setAttributesCalls;
    comm->SetBaudRate(9600);
    comm->SetOutx_XonXoffFlow(true);
    comm->SetXonChar(17);
    comm->SetParity(TParity::Even); // stored only, even while open
    comm->SetCommName("COM7");
    EXPECT_EQ(io.setAttributesCalls, writes);
    EXPECT_EQ(comm->Parity(), TParity::Even);
    EXPECT_EQ(comm->CommName(), "COM7");
    EXPECT_TRUE(comm->PortOpen());
    // The port is still the one opened as COM1.
    ASSERT_TRUE(comm->SendData("x", 1));
    EXPECT_EQ(pty.Read(1, 10s), "x");
}

TEST_F(CommSettingsTest, SettingsWithoutLinuxEquivalentAreStoredOnly) {
    OpenAndSettle();
    const TermAttributes before = SlaveSettings();
    comm->SetXonLimit(100);
    comm->SetDsrSensitivity(true);
    comm->SetTxContinueOnXoff(false);
    EXPECT_EQ(comm->XonLimit(), 100);
    EXPECT_TRUE(comm->DsrSensitivity());
    EXPECT_FALSE(comm->TxContinueOnXoff());
    const TermAttributes after = SlaveSettings();
    EXPECT_EQ(after.cflag, before.cflag);
    EXPECT_EQ(after.iflag, before.iflag);
}

TEST_F(CommSettingsTest, KeepsWhatTheDriverAccepted) {
    // A pseudo-terminal has no parity and always eight data bits.
    comm->SetParity(TParity::Even);
    comm->SetByteSize(TByteSize::_7);
    OpenAndSettle();
    const TermAttributes& applied = comm->AppliedLineSettings().value();
    EXPECT_EQ(applied.cflag & TermFlags::ParityEnable, 0u);
    EXPECT_EQ(applied.cflag & TermFlags::SizeMask, TermFlags::Size8);
    EXPECT_EQ(comm->Parity(), TParity::Even);
    EXPECT_EQ(comm->ByteSize(), TByteSize::_7);
}

TEST_F(CommSettingsTest, ReadIntervalChangedWhileOpenCutsTheNextChunk) {
    comm->SetReadIntervalTimeout(100000); // would hold the chunk for 100 s
    OpenAndSettle();
    comm->SetReadIntervalTimeout(20);
    ASSERT_TRUE(pty.Write("+1.0E+00\r\n"));
    ASSERT_TRUE(WaitUntil([&] { return events.chunks.size() == 1; }));
    EXPECT_EQ(events.chunks[0], "+1.0E+00\r\n");
}

} // namespace
} // namespace velmora::test
