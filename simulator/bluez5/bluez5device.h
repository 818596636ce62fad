#ifndef BLUEZ5DEVICE_H
#define BLUEZ5DEVICE_H

#include "agentclient.h"
#include "bluezerrors.h"
#include "controlledadapter.h"
#include "propertyobject.h"
#include "world.h"

#include <QTimer>

class Bluez5Adapter;
class Bluez5Pairing;

// org.bluez.Device1 of bluetoothd 5. Devices discovery finds are temporary:
// they go when not seen for the temporary timeout, unless Pair, Connect,
// ConnectProfile or Blocked made them stay. The world's DeviceSpec holds
// what outlives the object (paired, trusted, connected, audio state).
class Bluez5Device : public PropertyObject
{
    Q_OBJECT
public:
    Bluez5Device(Bluez5Adapter *adapter, DeviceSpec &spec, const QString &path, bool temporary);
    ~Bluez5Device() override;

    QVariantMap properties() const override;
    DeviceSpec &spec() { return *m_spec; }
    const DeviceSpec &spec() const { return *m_spec; }
    const Timing &timing() const;
    AgentClient *agents() const;
    bool isAdapterPowered() const;

    bool isTemporary() const { return m_temporary; }
    // A temporary device not seen again (nor connected) goes after the temporary timeout.
    void restartExpiry();
    void setTemporary(bool temporary);
    // A discovery report: the name once known, the RSSI, and a new lease of life.
    // Not announced for a device about to appear: its InterfacesAdded carries them.
    void seen(bool withName, bool announce = true);
    // A raw value of the control interface replaced the property.
    void rawChanged(const QString &name) { changed(name); }
    // The last discovery session ended: RSSI is no longer known.
    void invalidateRssi();
    void setConnected(bool connected);
    void setBonded(bool bonded);
    void setPaired(bool paired);
    void resolveServices();
    void scheduleIdleDrop();
    // What holds the link once a pairing is done.
    void linkAfterPairing();
    // Everything on the link ends now (power off, blocking, removal).
    void dropLink();
    // Signals every property that differs from what before would show.
    void publishChanges(const DeviceSpec &before);
    // The object has left the bus and is deleted later; its world entry may go first.
    void retire();

    Bluez5Pairing *pairing() const { return m_pairing; }
    void startIncomingPairing(const AgentClient::Target &agent, const QString &capability,
                              ControlledAdapter::Done done);
    // Called by the pairing.
    void pairingReachesRemote(Bluez5Pairing *pairing);
    void pairingFailed();
    void pairingFinished(Bluez5Pairing *pairing);
    void abortPairing(const BluezError::Error &error);
    void callerLeft(const QString &name);

private:
    QVariantMap propertiesOf(const DeviceSpec &spec) const;
    QString alias(const DeviceSpec &spec) const;
    bool hasAudio() const;

    void pair(const SimCall &call);
    void cancelPairing(const SimCall &call);
    void connectDevice(const SimCall &call);
    bool checkConnectable(const SimCall &call);
    // By value: the call is usually m_connectCall, which is cleared here.
    void connectAudio(const SimCall call);
    void disconnectDevice(const SimCall &call);
    // The link is down at last: the Disconnect call is answered.
    void linkDownFor(const SimCall &call);
    void disconnectProfile(const SimCall &call);
    void setAlias(const SimCall &call, const QVariant &value);
    void setTrusted(const SimCall &call, const QVariant &value);
    void setBlocked(const SimCall &call, const QVariant &value);
    // Runs fn after ms unless the link changed meanwhile (a Disconnect, a drop).
    void afterOnLink(int ms, std::function<void()> fn);

    Bluez5Adapter *m_adapter;
    DeviceSpec *m_spec;
    DeviceSpec m_retiredCopy;
    bool m_temporary;
    bool m_nameKnown;
    bool m_rssiKnown = false;
    qint16 m_toldRssi = 0;
    bool m_bonded;
    bool m_uuidsKnown; // service discovery ran once: UUIDs are the device's, not the advertised
    bool m_servicesResolved;
    Bluez5Pairing *m_pairing = nullptr;
    SimCall m_connectCall;
    // Disconnects waiting for the link to go down; answered also if the object goes first.
    QList<SimCall> m_disconnectCalls;
    int m_linkGeneration = 0;
    QTimer m_expiry;
    QTimer m_idle;
};

#endif // BLUEZ5DEVICE_H
