#ifndef OVRIN_RADIOSTATE_H
#define OVRIN_RADIOSTATE_H

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
    // Requests of the whole process reach BlueZ one at a time and in the
    // order they were made, however quickly they follow each other, and
    // even when this object is deleted right after asking.
    void setEnabled(bool enabled);

    // The BlueZ 5 adapter object the Bluetooth radio switch acts on while it
    // exists (the one the application's adapter handles serve); otherwise the
    // controller numbered lowest. Process-wide.
    static void setBluetoothAdapter(const QString &path);

Q_SIGNALS:
    // BlueZ refused to switch the radio on (e.g. "org.bluez.Error.Blocked"
    // while rfkill blocks it); told only while this object lives.
    void enableRefused(const QString &errorName);

private:
    int m_radios;
};

} // namespace Ovrin

#endif // OVRIN_RADIOSTATE_H
