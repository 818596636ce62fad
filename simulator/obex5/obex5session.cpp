#include "obex5session.h"

Obex5Session::Obex5Session(const QString &path, const QVariantMap &properties,
                           PropertiesBatcher *batcher)
    : PropertyObject(path, QStringLiteral("org.bluez.obex.Session1"), batcher)
    , m_properties(properties)
{
    addMethod(mainInterface(), QStringLiteral("GetCapabilities"), QString(),
              [](const SimCall &call) {
                  call.replyError(QStringLiteral("org.bluez.obex.Error.NotSupported"),
                                  QStringLiteral("Operation is not supported"));
              });
}
