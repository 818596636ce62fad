#include "registry.h"
#include "registry_p.h"

namespace TransferUI {

bool RegistryPrivate::record(const QString &transferId, const char *method,
                             const QVariantList &arguments, bool accepted)
{
    const RecordedCall call { transferId, QString::fromLatin1(method), arguments, accepted };
    calls.append(call);
    Q_EMIT q->callRecorded(call);
    return accepted;
}

Transfer *RegistryPrivate::add(const QString &name, int type, const QString &clientId)
{
    if (!available)
        return nullptr;
    const QString id = QStringLiteral("transfer-%1").arg(nextId++);
    Entry entry;
    entry.info.id = id;
    entry.info.name = name;
    entry.info.type = type;
    entry.info.clientId = clientId;
    entry.owner = new Transfer(id);
    order.append(id);
    entries.insert(id, entry);
    Q_EMIT q->transferAdded(id);
    return entry.owner;
}

bool RegistryPrivate::remove(const QString &id)
{
    if (!available || !entries.remove(id))
        return false;
    order.removeOne(id);
    Q_EMIT q->transferRemoved(id);
    return true;
}

bool RegistryPrivate::change(const QString &id, const std::function<bool(TransferInfo &)> &apply)
{
    auto it = entries.find(id);
    if (!available || it == entries.end())
        return false;
    // Work on a copy so that a refused call leaves the entry as it was.
    TransferInfo changed = it->info;
    if (!apply(changed))
        return false;
    it->info = changed;
    Q_EMIT q->transferChanged(id);
    return true;
}

Registry *Registry::instance()
{
    static Registry registry;
    return &registry;
}

Registry::Registry()
    : d(std::make_unique<RegistryPrivate>(this))
{
    qRegisterMetaType<TransferUI::RecordedCall>();
}

Registry::~Registry() = default;

QList<TransferInfo> Registry::transfers() const
{
    QList<TransferInfo> result;
    for (const QString &id : d->order)
        result.append(d->entries.value(id).info);
    return result;
}

bool Registry::contains(const QString &id) const
{
    return d->entries.contains(id);
}

TransferInfo Registry::transfer(const QString &id) const
{
    return d->entries.value(id).info;
}

QList<RecordedCall> Registry::calls() const
{
    return d->calls;
}

QList<RecordedCall> Registry::calls(const QString &transferId) const
{
    QList<RecordedCall> result;
    for (const RecordedCall &call : d->calls) {
        if (call.transferId == transferId)
            result.append(call);
    }
    return result;
}

int Registry::uiRequests() const
{
    return d->uiRequests;
}

bool Registry::requestCancel(const QString &id)
{
    const auto it = d->entries.constFind(id);
    if (it == d->entries.constEnd() || it->info.isFinished() || !it->owner)
        return false;
    Q_EMIT it->owner->cancel();
    return true;
}

void Registry::setAvailable(bool available)
{
    d->available = available;
}

bool Registry::isAvailable() const
{
    return d->available;
}

void Registry::clear()
{
    const QStringList ids = d->order;
    d->order.clear();
    d->entries.clear();
    d->calls.clear();
    d->uiRequests = 0;
    d->available = true;
    for (const QString &id : ids)
        Q_EMIT transferRemoved(id);
}

} // namespace TransferUI
