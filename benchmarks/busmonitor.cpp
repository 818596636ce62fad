#include "busmonitor.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include <dbus/dbus.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

namespace {

const char busService[] = "org.freedesktop.DBus";
const char markerBusName[] = "org.ovrin.Benchmark.Marker";
constexpr int pollMs = 20;
constexpr int markerTimeoutMs = 10000;

QString takeError(DBusError *error)
{
    const QString text = QString::fromUtf8(error->message ? error->message : "unknown error");
    dbus_error_free(error);
    return text;
}

bool isMarker(DBusMessage *message)
{
    if (!dbus_message_has_member(message, "NameHasOwner"))
        return false;
    const char *name = nullptr;
    DBusError error;
    dbus_error_init(&error);
    if (!dbus_message_get_args(message, &error, DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID)) {
        dbus_error_free(&error);
        return false;
    }
    return qstrcmp(name, markerBusName) == 0;
}

} // namespace

struct BusMonitor::State
{
    std::thread thread;
    std::atomic<bool> stop { false };
    std::mutex mutex;
    std::condition_variable markerSeen;
    int markers = 0;
    QMap<QString, int> counts;

    static DBusHandlerResult filter(DBusConnection *, DBusMessage *message, void *data)
    {
        auto *state = static_cast<State *>(data);
        // A monitor must never answer: every message counts as handled.
        if (dbus_message_get_type(message) != DBUS_MESSAGE_TYPE_METHOD_CALL)
            return DBUS_HANDLER_RESULT_HANDLED;
        std::lock_guard<std::mutex> lock(state->mutex);
        if (isMarker(message)) {
            ++state->markers;
            state->markerSeen.notify_all();
        } else {
            ++state->counts[QString::fromUtf8(dbus_message_get_member(message))];
        }
        return DBUS_HANDLER_RESULT_HANDLED;
    }

    // Runs on the monitor's thread: connects, becomes a monitor, then
    // dispatches until stopped.
    void watch(const QByteArray &address, const QByteArray &rule, std::promise<QString> *started)
    {
        DBusError error;
        dbus_error_init(&error);
        DBusConnection *connection = dbus_connection_open_private(address.constData(), &error);
        if (!connection || !dbus_bus_register(connection, &error)) {
            started->set_value(takeError(&error));
            if (connection) {
                dbus_connection_close(connection);
                dbus_connection_unref(connection);
            }
            return;
        }
        dbus_connection_set_exit_on_disconnect(connection, false);
        const QString failure = becomeMonitor(connection, rule);
        if (failure.isEmpty())
            dbus_connection_add_filter(connection, &State::filter, this, nullptr);
        started->set_value(failure);
        while (failure.isEmpty() && !stop
               && dbus_connection_read_write_dispatch(connection, pollMs)) { }
        dbus_connection_close(connection);
        dbus_connection_unref(connection);
    }

    static QString becomeMonitor(DBusConnection *connection, const QByteArray &rule)
    {
        DBusMessage *call
            = dbus_message_new_method_call(busService, "/org/freedesktop/DBus",
                                           "org.freedesktop.DBus.Monitoring", "BecomeMonitor");
        const char *rules[] = { rule.constData() };
        const char **rulesArg = rules;
        dbus_uint32_t flags = 0;
        dbus_message_append_args(call, DBUS_TYPE_ARRAY, DBUS_TYPE_STRING, &rulesArg, 1,
                                 DBUS_TYPE_UINT32, &flags, DBUS_TYPE_INVALID);
        DBusError error;
        dbus_error_init(&error);
        DBusMessage *reply
            = dbus_connection_send_with_reply_and_block(connection, call, 5000, &error);
        dbus_message_unref(call);
        if (!reply)
            return takeError(&error);
        dbus_message_unref(reply);
        return {};
    }
};

BusMonitor::BusMonitor()
    : d(new State)
{
}

BusMonitor::~BusMonitor()
{
    d->stop = true;
    if (d->thread.joinable())
        d->thread.join();
}

bool BusMonitor::start(QString *error)
{
    const QByteArray address = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
    const QString sender = QDBusConnection::systemBus().baseService();
    const QByteArray rule = QStringLiteral("type='method_call',destination='%1',sender='%2'")
                                .arg(QLatin1String(busService), sender)
                                .toUtf8();
    std::promise<QString> started;
    std::future<QString> outcome = started.get_future();
    d->thread = std::thread(&State::watch, d.get(), address, rule, &started);
    const QString failure = outcome.get();
    if (!failure.isEmpty()) {
        *error = QStringLiteral("cannot monitor the bus: %1").arg(failure);
        d->thread.join();
        return false;
    }
    QMap<QString, int> before;
    return take(&before);
}

bool BusMonitor::take(QMap<QString, int> *calls)
{
    int expected = 0;
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        expected = d->markers + 1;
    }
    QDBusConnection::systemBus().interface()->isServiceRegistered(
        QString::fromLatin1(markerBusName));
    std::unique_lock<std::mutex> lock(d->mutex);
    const bool seen = d->markerSeen.wait_for(lock, std::chrono::milliseconds(markerTimeoutMs),
                                             [this, expected] { return d->markers >= expected; });
    calls->clear();
    calls->swap(d->counts);
    return seen;
}
