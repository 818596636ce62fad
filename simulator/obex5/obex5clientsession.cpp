#include "obex5clientsession.h"

namespace {
const QString objectPush = QStringLiteral("org.bluez.obex.ObjectPush1");
} // namespace

Obex5ClientSession::Obex5ClientSession(const QString &path, const QVariantMap &properties,
                                       Handler sendFile, PropertiesBatcher *batcher)
    : PropertyObject(path, QStringLiteral("org.bluez.obex.Session1"), batcher)
    , m_properties(properties)
{
    addMethod(objectPush, QStringLiteral("SendFile"), QStringLiteral("s"), std::move(sendFile));
}

QStringList Obex5ClientSession::interfaces() const
{
    return PropertyObject::interfaces() << objectPush;
}
