#ifndef BLUEZERRORS_H
#define BLUEZERRORS_H

#include <QString>

// Error names and texts as bluetoothd sends them.
namespace BluezError {

struct Error
{
    const char *name;
    const char *text;
    QString qname() const { return QString::fromLatin1(name); }
    QString qtext() const { return QString::fromLatin1(text); }
};

constexpr Error InvalidArguments { "org.bluez.Error.InvalidArguments",
                                   "Invalid arguments in method call" };
constexpr Error InProgress { "org.bluez.Error.InProgress", "In Progress" };
constexpr Error AlreadyExists { "org.bluez.Error.AlreadyExists", "Already Exists" };
constexpr Error NotConnected { "org.bluez.Error.NotConnected", "Not Connected" };
constexpr Error AlreadyConnected { "org.bluez.Error.AlreadyConnected", "Already Connected" };
constexpr Error DoesNotExist { "org.bluez.Error.DoesNotExist", "Does Not Exist" };
constexpr Error NotAuthorized { "org.bluez.Error.NotAuthorized", "Operation Not Authorized" };
constexpr Error NoSuchAdapter { "org.bluez.Error.NoSuchAdapter", "No such adapter" };
constexpr Error AgentNotAvailable { "org.bluez.Error.AgentNotAvailable", "Agent Not Available" };
constexpr Error NotReady { "org.bluez.Error.NotReady", "Resource Not Ready" };
constexpr Error Rejected { "org.bluez.Error.Rejected", "Rejected" };
constexpr Error ConnectionAttemptFailed { "org.bluez.Error.ConnectionAttemptFailed",
                                          "Page Timeout" };
constexpr Error AuthenticationFailed { "org.bluez.Error.AuthenticationFailed",
                                       "Authentication Failed" };
constexpr Error AuthenticationRejected { "org.bluez.Error.AuthenticationRejected",
                                         "Authentication Rejected" };
constexpr Error AuthenticationCanceled { "org.bluez.Error.AuthenticationCanceled",
                                         "Authentication Canceled" };
constexpr Error AuthenticationTimeout { "org.bluez.Error.AuthenticationTimeout",
                                        "Authentication Timeout" };

inline QString failed() { return QStringLiteral("org.bluez.Error.Failed"); }

// The error a remote's refusal of a pairing reaches the caller with.
inline Error remoteRefusal(const QString &name)
{
    for (const Error &known : { AuthenticationRejected, AuthenticationCanceled,
                                AuthenticationTimeout, ConnectionAttemptFailed, AlreadyExists }) {
        if (name == QLatin1String(known.name))
            return known;
    }
    return AuthenticationFailed;
}

} // namespace BluezError

#include "simcall.h"

inline void replyError(const SimCall &call, const BluezError::Error &error)
{
    call.replyError(error.qname(), error.qtext());
}

#endif // BLUEZERRORS_H
