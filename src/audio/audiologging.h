#ifndef AUDIOLOGGING_H
#define AUDIOLOGGING_H

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcAudio)

#endif // AUDIOLOGGING_H
