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
};

#endif // SIMSERVICE_H
