#ifndef TRANSFERUI_REGISTRY_P_H
#define TRANSFERUI_REGISTRY_P_H

#include "registry.h"
#include "transfer.h"

#include <QHash>
#include <QPointer>
#include <QStringList>

#include <functional>

namespace TransferUI {

class RegistryPrivate
{
public:
    struct Entry
    {
        TransferInfo info;
        QPointer<Transfer> owner;
    };

    explicit RegistryPrivate(Registry *q)
        : q(q)
    {
    }

    bool record(const QString &transferId, const char *method, const QVariantList &arguments,
                bool accepted);
    Transfer *add(const QString &name, int type, const QString &clientId);
    bool remove(const QString &id);
    bool change(const QString &id, const std::function<bool(TransferInfo &)> &apply);

    Registry *q;
    bool available = true;
    int nextId = 1;
    int uiRequests = 0;
    QStringList order;
    QHash<QString, Entry> entries;
    QList<RecordedCall> calls;
};

} // namespace TransferUI

#endif // TRANSFERUI_REGISTRY_P_H
