#include "client.h"
#include "registry.h"
#include "registry_p.h"
#include "transfer.h"

namespace TransferUI {

Client::Client(QObject *parent)
    : QObject(parent)
{
}

Client::~Client() = default;

bool Client::isValid() const
{
    return Registry::instance()->isAvailable();
}

Transfer *Client::registerTransfer(const QString &name, TransferType type, const QString &clientId)
{
    RegistryPrivate *registry = Registry::instance()->d.get();
    Transfer *transfer = registry->add(name, type, clientId);
    registry->record(transfer ? transfer->transferId() : QString(), "registerTransfer",
                     { name, int(type), clientId }, transfer != nullptr);
    return transfer;
}

bool Client::removeTransfer(const QString &transferId)
{
    RegistryPrivate *registry = Registry::instance()->d.get();
    return registry->record(transferId, "removeTransfer", { transferId },
                            registry->remove(transferId));
}

bool Client::showUI()
{
    RegistryPrivate *registry = Registry::instance()->d.get();
    if (!registry->available)
        return registry->record(QString(), "showUI", {}, false);
    ++registry->uiRequests;
    registry->record(QString(), "showUI", {}, true);
    Q_EMIT Registry::instance()->uiRequested();
    return true;
}

} // namespace TransferUI
