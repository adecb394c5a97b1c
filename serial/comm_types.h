// Enumerations of the serial component's properties and the numbers of its notifications.
#pragma once

#include <cstdint>

namespace velmora {

// Ordinals count from 0 in the order given; line settings rely on them.
enum class TParity : uint8_t { None, Odd, Even, Mark, Space };
enum class TStopBits : uint8_t { _1, _1_5, _2 };
enum class TByteSize : uint8_t { _5, _6, _7, _8 };
// The enabled states come first, so ordinal 0 means "line raised".
enum class TDtrControl : uint8_t { DtrEnable, DtrDisable, DtrHandshake };
enum class TRtsControl : uint8_t { RtsEnable, RtsDisable, RtsHandshake, RtsTransmissionAvailable };

// Notifications the worker threads post to the main thread, in the
// numbering the application's event handling has always used.
inline constexpr int MSG_RX_DATA = 1025;
inline constexpr int MSG_RX_ERROR = 1026;
inline constexpr int MSG_HANGUP_REQUEST = 1027;
inline constexpr int MSG_MODEM_STATE = 1028;
inline constexpr int MSG_TX_EMPTY = 1029;

// Line-error flags passed to OnReceiveError.
inline constexpr uint32_t CE_RXOVER = 1;   // input buffer overflow
inline constexpr uint32_t CE_OVERRUN = 2;  // hardware overrun
inline constexpr uint32_t CE_RXPARITY = 4; // parity error
inline constexpr uint32_t CE_FRAME = 8;    // framing error
inline constexpr uint32_t CE_BREAK = 16;   // break condition

// Modem events passed to OnModemStateChange (both together give 12).
inline constexpr uint32_t MODEM_RING = 4;
inline constexpr uint32_t MODEM_CARRIER_DETECT = 8;

// Read interval value that, with both read totals 0, makes a read return at once.
inline constexpr uint32_t MAXDWORD = 0xFFFFFFFFu;

} // namespace velmora
