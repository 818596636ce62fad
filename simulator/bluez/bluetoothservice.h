#ifndef BLUETOOTHSERVICE_H
#define BLUETOOTHSERVICE_H

#include "controlledadapter.h"
#include "simservice.h"
#include "world.h"

#include <functional>

class RfkillSwitches;

// bluetoothd in either dialect: "org.bluez" on the system bus playing the
// shared world. What the control interface changes in the world is done here
// once; each dialect's adapter then tells its clients in its own way.
class BluetoothService : public SimService
{
    Q_OBJECT
public:
    using Done = ControlledAdapter::Done;

    BluetoothService(const QString &busAddress, const QString &agentInterface, CallLog *log,
                     FaultPlan *faults, QObject *parent);

    // 4 or 5: the dialect of bluetoothd this service plays.
    virtual int dialect() const = 0;
    QJsonObject state() const override;

    void load(const Scenario &scenario);
    World &world() { return m_world; }
    bool isPowered() const;
    // The world of the local controller with this address ("" for the first),
    // nullptr when bluetoothd has no such controller.
    virtual World *worldOf(const QString &address);
    // Whether that controller is up.
    virtual bool isPowered(const QString &address) const;
    // Whether a device at from can open a link to the local controller at
    // to ("" for the first) now.
    virtual bool takesConnection(const QString &from, const QString &to) const;
    // Another controller of this daemon has this address: a push there stays here.
    virtual bool isOwnController(const QString &address) const
    {
        Q_UNUSED(address)
        return false;
    }
    // The link from one local controller to another is secured before OBEX
    // goes over it; done gets "" or the error name.
    virtual void secureLink(const QString &from, const QString &to, Done done)
    {
        Q_UNUSED(from)
        Q_UNUSED(to)
        done(QString());
    }

    // What a test changes in the world; each returns false with a reason.
    bool addDevice(const QJsonObject &json, QString *error);
    bool changeDevice(const QString &address, const QJsonObject &json, QString *error);
    bool removeDevice(const QString &address, QString *error);
    // "controller": "hci1" in json changes another controller of the daemon.
    bool changeAdapter(const QJsonObject &json, QString *error);
    // A value sent as it is, whatever its type (target: "adapter" or an address).
    bool setRawProperty(const QString &target, const QString &name, const QVariant &value,
                        QString *error);
    bool reportDeviceFound(const QString &address, QString *error);
    void setTiming(const QJsonObject &json);
    bool requestAuthorization(const QString &address, const QString &uuid, Done done,
                              QString *error);
    bool incomingPairing(const QString &address, Done done, QString *error);

    // What the liar needs: the object paths of the adapter ("" without one)
    // and of its devices; replies that lie about every property (raw values
    // from makeLie(name)), or the truth again, told as every property changing.
    virtual QString adapterObjectPath() const = 0;
    virtual QStringList deviceObjectPaths() const = 0;
    void lieInReplies(const std::function<QVariantMap()> &adapterLies,
                      const std::function<QVariantMap()> &deviceLies);
    void tellTruth();

protected:
    // The adapter object while there is one.
    virtual ControlledAdapter *controlled() const = 0;
    virtual void buildObjects() = 0;
    virtual void destroyObjects() = 0;
    virtual void setAdapterPresent(bool present) = 0;
    // What the dialect adds to state(): paths of its objects, the default agent.
    virtual void addObjectState(QJsonObject *json) const = 0;
    // A raw value replaced a property of the adapter (address "") or of a device.
    virtual void announceRaw(const QString &address, const QString &name, const QVariant &value)
        = 0;
    // Every property of the adapter and its device objects, told as changed.
    virtual void announceEverything() = 0;
    bool needsRunningAdapter(QString *error) const;
    // The scenario was read into m_world; the dialect takes what else it plays.
    virtual void loaded(const Scenario &scenario) { Q_UNUSED(scenario) }
    virtual void timingChanged() { }
    virtual bool changeOtherController(const QString &controller, const QJsonObject &json,
                                       QString *error);
    // The kernel's rfkill switches: index N for controller hciN, soft-blocked or not.
    virtual QMap<quint32, bool> rfkillStates() const;

    World m_world;

private:
    void syncRfkill();
    // Served where $OVRIN_RFKILL_DEVICE says, for the library to read.
    RfkillSwitches *m_rfkill = nullptr;
};

#endif // BLUETOOTHSERVICE_H
