#ifndef OBEXERRORS_H
#define OBEXERRORS_H

#include "simcall.h"

#include <QString>

// Error names and texts as obexd 0.45 sends them. obex-client sends most of
// its errors without a text (g_dbus_create_error with a NULL format).
namespace ObexError {

inline QString name(const char *error)
{
    return QStringLiteral("org.openobex.Error.") + QLatin1String(error);
}

// obexd (src/manager.c)
inline void invalidArguments(const SimCall &call)
{
    call.replyError(name("InvalidArguments"), QStringLiteral("Invalid arguments in method call"));
}
inline void agentAlreadyExists(const SimCall &call)
{
    call.replyError(name("AlreadyExists"), QStringLiteral("Agent already exists"));
}
inline void agentDoesNotExist(const SimCall &call)
{
    call.replyError(name("DoesNotExist"), QStringLiteral("Agent does not exist"));
}
inline void notAuthorized(const SimCall &call)
{
    call.replyError(name("NotAuthorized"), QStringLiteral("Not authorized"));
}

// obex-client (client/manager.c, client/transfer.c)
inline void clientInvalidArguments(const SimCall &call)
{
    call.replyError(name("InvalidArguments"));
}
inline void clientFailed(const SimCall &call, const QString &text = {})
{
    call.replyError(name("Failed"), text);
}
inline void clientNotAuthorized(const SimCall &call)
{
    call.replyError(name("NotAuthorized"), QStringLiteral("Not Authorized"));
}

} // namespace ObexError

#endif // OBEXERRORS_H
