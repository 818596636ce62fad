#include "orvellocale.h"

OrvelLocale::OrvelLocale()
    : m_locale()
{
}

OrvelLocale::OrvelLocale(const QLocale &locale)
    : m_locale(locale)
{
}

QString OrvelLocale::formatNumber(qint64 value) const
{
    return m_locale.toString(value);
}

QString OrvelLocale::formatNumber(double value, int decimals) const
{
    return m_locale.toString(value, 'f', decimals);
}

QString OrvelLocale::formatShortNumber(qint64 value) const
{
    static const char suffixes[] = { 'k', 'M', 'G' };
    const qint64 magnitude = qAbs(value);
    if (magnitude < 1000)
        return formatNumber(value);
    double scaled = double(value) / 1000;
    int unit = 0;
    while (qAbs(scaled) >= 1000 && unit < 2) {
        scaled /= 1000;
        ++unit;
    }
    // "12k" rather than "12.0k": a decimal only where it says something.
    const int decimals = qAbs(scaled) < 10 && qRound64(scaled * 10) % 10 != 0 ? 1 : 0;
    return m_locale.toString(scaled, 'f', decimals) + QLatin1Char(suffixes[unit]);
}

QString OrvelLocale::toLocalizedNumbers(const QString &text) const
{
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            result += m_locale.toString(c.digitValue());
        else
            result += c;
    }
    return result;
}

QString OrvelLocale::toLatinNumbers(const QString &text) const
{
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        if (c.isDigit())
            result += QChar(u'0' + c.digitValue());
        else
            result += c;
    }
    return result;
}
