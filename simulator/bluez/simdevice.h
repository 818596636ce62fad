#ifndef SIMDEVICE_H
#define SIMDEVICE_H

#include "simobject.h"
#include "world.h"

#include <QObject>
#include <QTimer>

class SimAdapter;

// A remote device object: "org.bluez.Device", and "org.bluez.Audio" once a
// paired device's services include an audio profile.
class SimDevice : public QObject, public SimObject
{
    Q_OBJECT
public:
    SimDevice(SimAdapter *adapter, DeviceSpec &spec, const QString &path);

    QStringList interfaces() const override;
    DeviceSpec &spec() { return *m_spec; }
    const DeviceSpec &spec() const { return *m_spec; }
    QVariantMap properties() const;
    static QVariantMap foundValues(const DeviceSpec &spec, bool withName);
    static QString alias(const DeviceSpec &spec);
    // The icon name bluetoothd derives from a class of device ("" if none).
    static QString icon(uint deviceClass);
    // Whether uuids hold an audio profile (headset, hands-free, A2DP).
    static bool isAudio(const QStringList &uuids);

    bool isTemporary() const { return m_temporary; }
    void setTemporary(bool temporary) { m_temporary = temporary; }
    bool servicesResolved() const { return m_servicesResolved; }

    // Signals every property that differs between before and the current spec.
    void publishChanges(const DeviceSpec &before);
    void setConnected(bool connected);
    void setPaired(bool paired);
    // Service discovery finished: UUIDs now hold what the device offers.
    void resolveServices();
    // The link went quiet; it drops after a while unless something uses it.
    void scheduleIdleDrop();
    // Everything on the link ends now (power off, blocking).
    void dropLink();
    // The object has left the bus and is deleted later. Its world entry may go
    // first, so from now on it works on a copy of its own.
    void retire();
    bool hasAudio() const;

private:
    void getProperties(const SimCall &call);
    void setProperty(const SimCall &call);
    void disconnect(const SimCall &call);
    void discoverServices(const SimCall &call);
    void audioConnect(const SimCall &call);
    void audioConnectDone();
    void audioDisconnect(const SimCall &call);
    void setAudioState(const QString &state);
    QStringList publishedUuids() const;
    void removeIfTemporary();

    SimAdapter *m_adapter;
    DeviceSpec *m_spec;
    DeviceSpec m_retiredCopy;
    bool m_temporary = false;
    bool m_servicesResolved = false;
    bool m_disconnecting = false;
    QTimer m_idleTimer;
    // The Audio.Connect being worked on; answered when "connecting" ends.
    SimCall m_audioConnectCall;
    int m_audioAttempt = 0;
};

#endif // SIMDEVICE_H
