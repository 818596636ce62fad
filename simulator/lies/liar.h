#ifndef LIAR_H
#define LIAR_H

#include <QJsonObject>
#include <QRandomGenerator>
#include <QStringList>
#include <QVariant>

class Simulator;

// The daemons gone wrong, BlueZ in either dialect. Sends the signals their clients listen to with
// values of the wrong type, keys left out, empty, hostile and 1 MB strings,
// extreme numbers, paths of objects that do not exist and argument lists of
// the wrong shape; and makes the property replies lie the same way. Every lie
// is picked by a generator from a seed, so a run can be told again.
class Liar
{
public:
    explicit Liar(Simulator *simulator);

    // Sends count lies; what was sent, by kind ("adapter-wrong-type": 812, ...).
    // Lies that need a daemon which is not running are not sent.
    QJsonObject tell(int count, quint32 seed);
    // From now on GetProperties of the adapter and of every device lies about
    // each property (wrong type, left out, extreme value); or tells the truth
    // again, and then signals every real property too, so clients get back
    // in step.
    void lieInReplies(bool lying, quint32 seed);

private:
    enum class Kind {
        AdapterWrongType,
        AdapterExtreme,
        DeviceWrongType,
        DeviceExtreme,
        DeviceNowhere,
        FoundBadAddress,
        FoundBadValues,
        CreatedNowhere,
        RemovedNowhere,
        WrongArguments,
        TransferNowhere,
        ProgressExtreme,
        Count
    };
    static const char *kindName(Kind kind);
    bool tellOne(Kind kind);

    QVariant wrongType(const QString &signature);
    QVariant extreme(const QString &signature);
    QVariant lieAbout(const QString &signature);
    QString hostileString();
    QString junkAddress();
    QString nowherePath();
    QString knownDevicePath();
    QString liveTransferPath();
    QVariantMap lyingFoundValues();

    enum class Object { Adapter, Device };
    using Property = std::pair<const char *, const char *>;

    // Each lie in the words of the dialect being played.
    void bluezSignal(const QString &path, const QString &interface, const QString &member,
                     const QVariantList &args);
    // property, a (name, D-Bus type) pair, changed to value.
    void propertySignal(const QString &path, Object object, const Property &property,
                        const QVariant &value);
    // The device at address found, claiming claimedAddress, with lying values.
    void found(const QString &address, const QString &claimedAddress);
    // A device that does not exist, created or removed.
    void announceNowhere(bool created);
    void announceObject(const QString &path, const QVariantMap &deviceValues);
    bool onBluez5() const;
    void obexSignal(const QString &path, const QString &interface, const QString &member,
                    const QVariantList &args);
    bool bluezReady() const;
    bool obexReady() const;
    bool onObexd5() const;
    // The OBEX lies in the words of obexd 0.45 and of obexd 5.
    bool obexLie(Kind kind);
    void obexd5Lie(Kind kind);
    QString adapterPath() const;

    Simulator *m_simulator;
    QRandomGenerator m_random;
};

#endif // LIAR_H
