#ifndef OVRIN_OFFLINEMODE_H
#define OVRIN_OFFLINEMODE_H

#include <QObject>

class OrvelGConfItem;

namespace Ovrin {

// The handset's offline (flight) mode, kept in the GConf key Key: true while
// the radios must stay silent. Unset means normal mode.
class Q_DECL_EXPORT OfflineMode : public QObject
{
    Q_OBJECT
public:
    enum Status { Offline = 0, Online = 1 };
    Q_ENUM(Status)

    static const QString Key;

    explicit OfflineMode(QObject *parent = nullptr);

    // Offline (zero) while flight mode is on.
    int currentStatus() const;

Q_SIGNALS:
    void statusChanged(int status);

private:
    void keyChanged();

    OrvelGConfItem *m_item;
    int m_status; // as last announced
};

} // namespace Ovrin

#endif // OVRIN_OFFLINEMODE_H
