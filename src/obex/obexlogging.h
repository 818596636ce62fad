#ifndef OBEXLOGGING_H
#define OBEXLOGGING_H

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcObex)

#endif // OBEXLOGGING_H
