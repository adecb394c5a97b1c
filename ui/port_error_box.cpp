// The box that says a serial port could not be opened (start-up and the settings dialog).
#include "ui/port_error_box.h"

#include "serial/comm.h"
#include "serial/device_path.h"
#include "serial/port_holder.h"
#include "ui/message_boxes.h"

#include <QStringList>

#include <cerrno>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace velmora {

namespace {

// The errno an open error carries, 0 when the error type records none (checked at
// compile time, so the box picks the number up as soon as the error offers it).
template <typename Error>
int CarriedSystemError(const Error& error) {
    if constexpr (requires { error.systemError(); }) {
        return error.systemError();
    } else {
        return 0;
    }
}

// What a look at the device, without opening it, says is wrong; 0 when nothing is.
// Opening it just to find out could raise the modem lines of a real port.
int ProbeDevice(const std::string& devicePath) {
    struct stat info {};
    if (::stat(devicePath.c_str(), &info) != 0) {
        return errno;
    }
    if (!S_ISCHR(info.st_mode)) {
        return ENOTTY;
    }
    if (::access(devicePath.c_str(), R_OK | W_OK) != 0) {
        return errno;
    }
    return 0;
}

} // namespace

QString PortOpenErrorText(const std::string& commName) {
    return QString::fromStdString(commName) +
           QStringLiteral("  Port open error, Set com port pls ");
}

void ShowPortOpenError(QWidget* parent, const std::string& commName, const QString& reason) {
    CurrentMessageBoxes().showError(parent, QStringLiteral("Error"), PortOpenErrorText(commName),
                                    reason, true);
}

QString PortOpenErrorReason(int systemError) {
    switch (systemError) {
    case 0:
        return QString();
    case EACCES:
    case EPERM:
        return QStringLiteral("Permission denied: to use serial ports, the user must be a member "
                              "of the \"dialout\" group (log in again after joining it).");
    case EBUSY:
    case EAGAIN:
        return QStringLiteral("The port is busy: another program holds it.");
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return QStringLiteral("No such device: the port does not exist or has been unplugged.");
    case ENOTTY:
        return QStringLiteral("Not a serial port: the name does not lead to a terminal device.");
    default:
        return QString::fromStdString(std::generic_category().message(systemError)) +
               QStringLiteral(".");
    }
}

QString PortOpenErrorReason(const ECommsError& error, const std::string& devicePath) {
    const int carried = CarriedSystemError(error);
    return PortOpenErrorReason(carried != 0 ? carried : ProbeDevice(devicePath));
}

QString PortBusyReason(const std::string& device, const std::vector<PortHolder>& holders) {
    if (holders.empty()) {
        return QStringLiteral("The port is busy: another program holds it. New serial ports are "
                              "often taken by ModemManager or brltty; \"fuser -v %1\" shows "
                              "which program it is.")
            .arg(QString::fromStdString(device));
    }
    QStringList names;
    for (const PortHolder& holder : holders) {
        names << QStringLiteral("%1 (process %2)")
                     .arg(QString::fromStdString(holder.name))
                     .arg(holder.pid);
    }
    return (holders.size() == 1 ? QStringLiteral("The port is busy: %1 holds it.")
                                : QStringLiteral("The port is busy: %1 hold it."))
        .arg(names.join(QStringLiteral(", ")));
}

QString PortOpenErrorDetails(const ECommsError& error, const TComm& comm) {
    const std::string device = DevicePathForPort(comm.CommName(), comm.DeviceFolder());
    QString details = QStringLiteral("Device tried: ") + QString::fromStdString(device);
    const int carried = CarriedSystemError(error);
    const QString reason = carried == EBUSY || carried == EAGAIN
                               ? PortBusyReason(device, FindPortHolders(device))
                               : PortOpenErrorReason(error, device);
    if (!reason.isEmpty()) {
        details += QLatin1Char('\n') + reason;
    }
    return details;
}

} // namespace velmora
