// The port list the user chose from: from one listing to the next, COM<n> stands for the device listed under it
// then, whatever links are retargeted and adapters plugged in or out in between.
#pragma once

#include "port_map.h"

#include <QString>
#include <optional>

namespace orvik {

// Lists the ports now and remembers each one's device: its resolved path and what makes it that device (its
// device number, and where it hangs for a device with a sysfs entry such as a USB adapter, else its node's creation).
QList<PortEntry> takePortListing(const QString& dir = portsDirectory());

// The port COM<number> as the last listing of dir showed it, while that device is still there and still the
// same; before any listing of dir, the port as it is now. Otherwise nothing, and why in *why.
std::optional<PortEntry> listedPort(int number, QString* why, const QString& dir = portsDirectory());

} // namespace orvik
