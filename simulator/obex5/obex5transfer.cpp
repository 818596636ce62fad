#include "obex5transfer.h"

#include "obexpush.h"

#include <QDBusObjectPath>
#include <QFileInfo>

#include <utility>

Obex5Transfer::Obex5Transfer(const QString &path, const QString &session, ObexPush *push,
                             PropertiesBatcher *batcher)
    : PropertyObject(path, QStringLiteral("org.bluez.obex.Transfer1"), batcher)
    , m_session(session)
    , m_push(push)
{
    addMethod(mainInterface(), QStringLiteral("Cancel"), QString(), [this](const SimCall &call) {
        if (m_push)
            m_push->cancel(call);
        else
            call.reply();
    });
}

QVariantMap Obex5Transfer::properties() const
{
    QVariantMap map { { "Status", m_status },
                      { "Session", QVariant::fromValue(QDBusObjectPath(m_session)) },
                      { "Transferred", quint64(m_transferred) } };
    const ObexPush::Object *object = m_push ? m_push->currentObject() : nullptr;
    if (m_headers && object) {
        const QString name = m_name.isEmpty() ? object->name : m_name;
        if (!name.isEmpty())
            map.insert(QStringLiteral("Name"), name);
        if (!object->type.isEmpty())
            map.insert(QStringLiteral("Type"), object->type);
        if (object->announced >= 0)
            map.insert(QStringLiteral("Size"), quint64(object->announced));
    }
    if (!m_filename.isEmpty())
        map.insert(QStringLiteral("Filename"), m_filename);
    return map;
}

void Obex5Transfer::headersRead()
{
    m_headers = true;
}

void Obex5Transfer::started(bool singlePacket)
{
    m_started = true;
    m_filename = m_push->filePath();
    m_name = QFileInfo(m_filename).fileName();
    // An object in one PUT packet is stored before the main loop runs again.
    if (singlePacket)
        return;
    m_status = QStringLiteral("active");
    changed({ QStringLiteral("Size"), QStringLiteral("Status"), QStringLiteral("Transferred") });
}

void Obex5Transfer::progressed()
{
    // The receiving side tells no progress: the count is read, never signalled.
    m_transferred = m_push->transferred();
}

void Obex5Transfer::ended(bool success, bool singlePacket)
{
    // A file that cannot be created refuses the object: no status of its own.
    if (!std::exchange(m_started, false))
        return;
    m_status = success ? QStringLiteral("complete") : QStringLiteral("error");
    // The end tells the count too, read after the reset below (0).
    if (singlePacket)
        changed({ QStringLiteral("Status"), QStringLiteral("Transferred"), QStringLiteral("Size") });
    else
        changed({ QStringLiteral("Transferred"), QStringLiteral("Status") });
    // os_reset_session: the signal, sent later, reads these cleared values.
    m_headers = false;
    m_name.clear();
    m_filename.clear();
    m_transferred = 0;
}
