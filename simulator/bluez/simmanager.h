#ifndef SIMMANAGER_H
#define SIMMANAGER_H

#include "simobject.h"

class BluezService;

// "org.bluez.Manager" at "/": finds the adapter.
class SimManager : public SimObject
{
public:
    explicit SimManager(BluezService *service);
    QStringList interfaces() const override { return { QStringLiteral("org.bluez.Manager") }; }

    void adapterAdded(const QString &path);
    void adapterRemoved(const QString &path);

private:
    QVariant adapters() const;
    BluezService *m_service;
};

#endif // SIMMANAGER_H
