#ifndef SIMSERVICE_H
#define SIMSERVICE_H

#include <QJsonObject>
#include <QObject>

// A simulated daemon: owns one well-known name on one bus. Stopping it is the
// daemon dying (its connection closes, so its callers get errors at once);
// starting it again is a restart under a new unique name.
class SimService : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual QString serviceName() const = 0;
    virtual bool start(QString *error) = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
    virtual QJsonObject state() const = 0;

    // Whether the bus may start the daemon on demand (a D-Bus service file on
    // the session bus): an activation request from the bus restarts it.
    bool isActivatable() const { return m_activatable; }
    void setActivatable(bool activatable) { m_activatable = activatable; }
    int activations() const { return m_activations; }
    bool activate(QString *error)
    {
        if (!m_activatable) {
            *error = QStringLiteral("%1 cannot be activated").arg(serviceName());
            return false;
        }
        if (isRunning())
            return true;
        ++m_activations;
        return start(error);
    }

private:
    bool m_activatable = false;
    int m_activations = 0;
};

#endif // SIMSERVICE_H
