#ifndef OVRIN_SIMPLEINFORMATIONBANNER_H
#define OVRIN_SIMPLEINFORMATIONBANNER_H

#include "orvelscenewindow.h"

namespace Ovrin {

// A one-line notice over the top of the active window's content, gone after
// its timeout. Every banner shown is also kept in a short history, newest
// last, for those who need to know what the user was told.
class Q_DECL_EXPORT SimpleInformationBanner : public OrvelSceneWindow
{
    Q_OBJECT
public:
    struct Entry
    {
        QString text;
        QString iconId;
        int timeout = 0;
    };
    static const int DefaultTimeout = 3000;
    static const int HistorySize = 20;

    // Shows a banner with an icon for the default time.
    static SimpleInformationBanner *show(const QString &text, const QString &iconId);
    // Shows a banner without an icon for timeout milliseconds.
    static SimpleInformationBanner *show(const QString &text, int timeout);

    static QList<Entry> history();
    static void clearHistory();

    SimpleInformationBanner(const QString &text, const QString &iconId, int timeout);
    ~SimpleInformationBanner() override;

    QString text() const { return m_entry.text; }
    QString iconId() const { return m_entry.iconId; }
    int timeout() const { return m_entry.timeout; }

    QRectF placement(const QRectF &screen) const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
               QWidget *widget = nullptr) override;

private:
    static SimpleInformationBanner *showEntry(const Entry &entry);
    Entry m_entry;
};

} // namespace Ovrin

#endif // OVRIN_SIMPLEINFORMATIONBANNER_H
