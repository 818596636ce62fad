#include "offlinemode.h"

#include "orvelgconfitem.h"

namespace Ovrin {

const QString OfflineMode::Key = QStringLiteral("/system/varn/device/offline_mode");

namespace {

int statusOf(const QVariant &value)
{
    return value.toBool() ? OfflineMode::Offline : OfflineMode::Online;
}

} // namespace

OfflineMode::OfflineMode(QObject *parent)
    : QObject(parent)
    , m_item(new OrvelGConfItem(Key, this))
    , m_status(statusOf(m_item->value()))
{
    connect(m_item, &OrvelGConfItem::valueChanged, this, &OfflineMode::keyChanged);
}

int OfflineMode::currentStatus() const
{
    return statusOf(m_item->value());
}

void OfflineMode::keyChanged()
{
    // GConf also notifies writes of the same value.
    const int status = currentStatus();
    if (status == m_status)
        return;
    m_status = status;
    Q_EMIT statusChanged(status);
}

} // namespace Ovrin
