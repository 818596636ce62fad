#include "agentdialogue.h"

#include <QDBusObjectPath>

namespace AgentDialogue {

bool isSecureSimplePairing(const QString &method)
{
    return method == QLatin1String("confirm") || method == QLatin1String("passkey")
        || method == QLatin1String("display");
}

Request requestFor(const PairingSpec &pairing, const QString &devicePath)
{
    const QVariant path = QVariant::fromValue(QDBusObjectPath(devicePath));
    if (pairing.method == QLatin1String("pin"))
        return { QStringLiteral("RequestPinCode"), { path } };
    if (pairing.method == QLatin1String("passkey"))
        return { QStringLiteral("RequestPasskey"), { path } };
    return { QStringLiteral("RequestConfirmation"), { path, pairing.passkey } };
}

Verdict judge(const PairingSpec &pairing, const QDBusMessage &reply)
{
    const bool isError = reply.type() == QDBusMessage::ErrorMessage;
    if (isError && reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply"))
        return Verdict::TimedOut;
    if (isError)
        return Verdict::Refused;
    if (pairing.method == QLatin1String("pin")) {
        // Anything but 1 to 16 characters is a refusal.
        if (reply.signature() != QLatin1String("s"))
            return Verdict::Refused;
        const QString pin = reply.arguments().value(0).toString();
        if (pin.isEmpty() || pin.toUtf8().size() > 16)
            return Verdict::Refused;
        return !pairing.pin.isEmpty() && pin != pairing.pin ? Verdict::WrongSecret
                                                            : Verdict::Accepted;
    }
    if (pairing.method == QLatin1String("passkey")) {
        if (reply.signature() != QLatin1String("u"))
            return Verdict::Refused;
        const uint passkey = reply.arguments().value(0).toUInt();
        if (passkey > 999999 || (pairing.checkPasskey && passkey != pairing.passkey))
            return Verdict::WrongSecret;
    }
    return Verdict::Accepted;
}

} // namespace AgentDialogue
