#ifndef BLUEZ5ERRORS_H
#define BLUEZ5ERRORS_H

#include "bluezerrors.h"

// Error names and texts bluetoothd 5.66 sends where they differ from 4.101's
// (the shared ones are in bluezerrors.h).
namespace Bluez5Error {

using BluezError::Error;

constexpr Error NotReady { "org.bluez.Error.NotReady", "Resource Not Ready" };
constexpr Error DiscoveryInProgress { "org.bluez.Error.InProgress",
                                      "Operation already in progress" };
constexpr Error NoDiscovery { "org.bluez.Error.Failed", "No discovery started" };
constexpr Error Busy { "org.bluez.Error.Busy", "" };
constexpr Error Blocked { "org.bluez.Error.Blocked", "Blocked through rfkill" };
constexpr Error NotPowered { "org.bluez.Error.Failed", "Not Powered" };
constexpr Error AlreadyPaired { "org.bluez.Error.AlreadyExists", "Already Paired" };
constexpr Error Rejected { "org.bluez.Error.Rejected", "Rejected" };
constexpr Error FailedToSetDefault { "org.bluez.Error.Failed", "Failed to set as default" };
constexpr Error ConnectionBusy { "org.bluez.Error.InProgress", "br-connection-busy" };
constexpr Error ConnectionNotPowered { "org.bluez.Error.NotReady",
                                       "br-connection-adapter-not-powered" };
constexpr Error PageTimeout { "org.bluez.Error.Failed", "br-connection-page-timeout" };
constexpr Error ProfileUnavailable { "org.bluez.Error.NotAvailable",
                                     "br-connection-profile-unavailable" };
constexpr Error ConnectionRefused { "org.bluez.Error.Failed", "br-connection-refused" };
constexpr Error ConnectionCanceled { "org.bluez.Error.Failed", "br-connection-canceled" };

} // namespace Bluez5Error

#endif // BLUEZ5ERRORS_H
