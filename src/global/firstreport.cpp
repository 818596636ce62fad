#include "firstreport.h"

#include <QMutex>
#include <QSet>

namespace Ovrin {

bool isFirstReport(const QString &key)
{
    static QMutex mutex;
    static QSet<QString> reported;
    const QMutexLocker locker(&mutex);
    if (reported.contains(key))
        return false;
    reported.insert(key);
    return true;
}

QString loggable(const QString &value)
{
    constexpr int shown = 40;
    QString text;
    for (const QChar c : QStringView(value).left(shown)) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            text += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            text += c;
    }
    if (value.size() > shown)
        text += QStringLiteral("... (%1 characters)").arg(value.size());
    return text;
}

} // namespace Ovrin
