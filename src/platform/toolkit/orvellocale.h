#ifndef ORVELLOCALE_H
#define ORVELLOCALE_H

#include <QLocale>
#include <QString>

// Numbers as the user reads them: in the user's locale (its digits and
// separators), and shortened for tight places ("1.2k", "3.4M").
class Q_DECL_EXPORT OrvelLocale
{
public:
    // The user's locale: QLocale's default.
    OrvelLocale();
    explicit OrvelLocale(const QLocale &locale);

    QLocale locale() const { return m_locale; }
    QString name() const { return m_locale.name(); }

    QString formatNumber(qint64 value) const;
    QString formatNumber(double value, int decimals) const;
    // One decimal at most, with a k, M or G suffix above a thousand.
    QString formatShortNumber(qint64 value) const;
    // The locale's digits for each ASCII digit; other characters unchanged.
    QString toLocalizedNumbers(const QString &text) const;
    // ASCII digits for each of the locale's digits; other characters unchanged.
    QString toLatinNumbers(const QString &text) const;

private:
    QLocale m_locale;
};

#endif // ORVELLOCALE_H
