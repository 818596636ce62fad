// Context properties as another bus client sees them: the service name, Get,
// ValueChanged, unset values, and what goes when the objects go.

#include "property.h"
#include "service.h"
#include "testenvironment.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QSignalSpy>

#include <memory>

using namespace ContextProvider;

namespace {

const QString serviceName = QStringLiteral("com.brivo.bt_ui.context");
const QString nfcKey = QStringLiteral("/com/brivo/bt_ui/nfcTransferStatus");

// Receives ValueChanged on the reader's connection.
class ValueListener : public QObject
{
    Q_OBJECT
public:
    QList<QVariantList> received;

public Q_SLOTS:
    void valueChanged(const QVariantList &values) { received.append(values); }
};

} // namespace

class TestContextProvider : public QObject
{
    Q_OBJECT

    // A connection of its own, as another process would have.
    QDBusConnection m_reader
        = QDBusConnection::connectToBus(QDBusConnection::SystemBus, QStringLiteral("reader"));

    // Waiting with the event loop running: the provider answers from this thread.
    QDBusMessage get(const QString &path)
    {
        return m_reader.call(QDBusMessage::createMethodCall(serviceName, path, Property::Interface,
                                                            QStringLiteral("Get")),
                             QDBus::BlockWithGui, 5000);
    }

    // The values Get answers; a failed or ill-typed answer is no list of values.
    QVariantList getValues(const QString &path)
    {
        const QDBusMessage reply = get(path);
        if (reply.signature() != QLatin1String("av"))
            return { reply.errorName(), reply.signature() };
        return qdbus_cast<QVariantList>(reply.arguments().at(0));
    }

    bool listen(ValueListener *listener, const QString &path)
    {
        return m_reader.connect(serviceName, path, Property::Interface,
                                QStringLiteral("ValueChanged"), listener,
                                SLOT(valueChanged(QVariantList)));
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_reader.isConnected()); }

    void serviceOwnsItsNameWhileItLives()
    {
        auto service = std::make_unique<Service>(QDBusConnection::SystemBus, serviceName);
        QVERIFY(service->isRegistered());
        QCOMPARE(m_reader.interface()->serviceOwner(serviceName).value(),
                 QDBusConnection::systemBus().baseService());
        service.reset();
        QVERIFY(!m_reader.interface()->isServiceRegistered(serviceName).value());

        // A name owned elsewhere is reported.
        QVERIFY(m_reader.registerService(serviceName));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("^Context service cannot own ")
                                                + QRegularExpression::escape(serviceName)));
        QVERIFY(!Service(QDBusConnection::SystemBus, serviceName).isRegistered());
        QVERIFY(m_reader.unregisterService(serviceName));
    }

    void valueIsReadableAndChangesAreSignalled()
    {
        Service service(QDBusConnection::SystemBus, serviceName);
        Property property(service, nfcKey);
        QCOMPARE(property.objectPath(), nfcKey);
        ValueListener listener;
        QVERIFY(listen(&listener, nfcKey));
        QSignalSpy changed(&property, &Property::valueChanged);

        QCOMPARE(getValues(nfcKey), QVariantList());
        property.setValue(true);
        QTRY_COMPARE(listener.received.size(), 1);
        QCOMPARE(listener.received.at(0), QVariantList { true });
        QCOMPARE(getValues(nfcKey), QVariantList { true });

        // The same value again is no change; the reply to Get comes after any
        // signal sent before it.
        property.setValue(true);
        QCOMPARE(getValues(nfcKey), QVariantList { true });
        QCOMPARE(listener.received.size(), 1);

        property.setValue(false);
        QTRY_COMPARE(listener.received.size(), 2);
        QCOMPARE(listener.received.at(1), QVariantList { false });
        property.unsetValue();
        QTRY_COMPARE(listener.received.size(), 3);
        QCOMPARE(listener.received.at(2), QVariantList());
        QCOMPARE(getValues(nfcKey), QVariantList());
        QCOMPARE(changed.count(), 3);
    }

    // A dotted key gets a path of its own; a deleted property is no longer there.
    void keysAndLifetimes()
    {
        Service service(QDBusConnection::SystemBus, serviceName);
        auto property = std::make_unique<Property>(service, QStringLiteral("Bluetooth.Nfc-Status"));
        const QString path = QStringLiteral("/Bluetooth/Nfc_002dStatus");
        QCOMPARE(property->objectPath(), path);
        property->setValue(QStringLiteral("idle"));
        QCOMPARE(getValues(path), QVariantList { QStringLiteral("idle") });
        property.reset();
        QCOMPARE(get(path).type(), QDBusMessage::ErrorMessage);
    }
};

OVRIN_TEST_MAIN_NO_SIMULATOR(TestContextProvider)
#include "tst_contextprovider.moc"
