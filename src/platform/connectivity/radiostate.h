#ifndef OVRIN_RADIOSTATE_H
#define OVRIN_RADIOSTATE_H

#include <QList>
#include <QObject>

namespace Ovrin {

// Switches the handset's radios. Only the Bluetooth radio is wired up here:
// enabling or disabling it sets the BlueZ default adapter's "Powered".
class Q_DECL_EXPORT RadioState : public QObject
{
    Q_OBJECT
public:
    enum Radio { Cellular = 1, Wlan = 2, Nfc = 4, Bluetooth = 8 };

    explicit RadioState(int radios, QObject *parent = nullptr);
    int radios() const { return m_radios; }

    // Asynchronous: the change shows up later as BlueZ's "Powered" changing.
    // Requests reach BlueZ one at a time and in the order they were made,
    // however quickly they follow each other.
    void setEnabled(bool enabled);

private:
    void sendNext();

    int m_radios;
    QList<bool> m_pending;
    bool m_busy = false;
};

} // namespace Ovrin

#endif // OVRIN_RADIOSTATE_H
