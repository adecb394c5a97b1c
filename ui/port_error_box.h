// The box that says a serial port could not be opened (start-up and the settings dialog).
#pragma once

#include "serial/comms_error.h"
#include "serial/port_holder.h"

#include <QString>

#include <string>
#include <vector>

class QWidget;

namespace velmora {

class TComm;

// The box's text: the port name, then "  Port open error, Set com port pls ".
//   PortOpenErrorText("Com7") -> "Com7  Port open error, Set com port pls "
QString PortOpenErrorText(const std::string& commName);

// Shows the error box (title "Error", error icon, one OK, centred on the screen)
// with PortOpenErrorText and `reason` as its secondary text, and waits for OK.
void ShowPortOpenError(QWidget* parent, const std::string& commName, const QString& reason);

// Why an open failed, for a person, from the errno of the failed step; empty for 0
// (not known):
//   EACCES, EPERM           -> permission denied, join the "dialout" group
//   EBUSY, EAGAIN           -> another program holds the port
//   ENOENT, ENODEV, ENXIO   -> no such device
//   ENOTTY                  -> not a serial port
//   others                  -> the system's own text for the number
QString PortOpenErrorReason(int systemError);

// The reason for a failed OpenPort of the port at `devicePath`: the errno the error
// carries when the serial component records one, else what a look at the device
// shows (missing, not a character device, no read and write permission); empty
// when neither tells.
QString PortOpenErrorReason(const ECommsError& error, const std::string& devicePath);

// Why a port is busy: the programs that hold it (FindPortHolders), or when
// none can be seen, the usual holders and the command that names them:
//   "The port is busy: ModemManager (process 812) holds it."
QString PortBusyReason(const std::string& device, const std::vector<PortHolder>& holders);

// The box's secondary text for the port `comm` failed to open: the device its
// CommName led to in its DeviceFolder, then the reason for it:
//   "Device tried: /dev/ttyS0\nNo such device: the port does not exist ..."
QString PortOpenErrorDetails(const ECommsError& error, const TComm& comm);

} // namespace velmora
