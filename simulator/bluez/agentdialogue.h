#ifndef AGENTDIALOGUE_H
#define AGENTDIALOGUE_H

#include "scenario.h"

#include <QDBusMessage>
#include <QVariantList>

// What both dialects of bluetoothd share in a pairing: which request the
// remote's pairing method puts to the agent, and what the agent's answer
// means. Each dialect turns the verdict into its own error names.
namespace AgentDialogue {

struct Request
{
    QString member; // "RequestPinCode", "RequestPasskey" or "RequestConfirmation"
    QVariantList args;
};

enum class Verdict {
    Accepted,
    Refused, // an error, a wrong type, a PIN of the wrong length
    WrongSecret, // well formed, but not what the remote expects
    TimedOut, // the agent did not answer in time
};

// Methods of Secure Simple Pairing: a NoInputNoOutput side makes them just works.
bool isSecureSimplePairing(const QString &method);
Request requestFor(const PairingSpec &pairing, const QString &devicePath);
Verdict judge(const PairingSpec &pairing, const QDBusMessage &reply);

} // namespace AgentDialogue

#endif // AGENTDIALOGUE_H
