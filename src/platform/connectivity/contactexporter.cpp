#include "contactexporter.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QUrl>

Q_LOGGING_CATEGORY(lcContacts, "ovrin.contacts")

namespace Ovrin {

namespace {

const char sampleContacts[] = R"([
    { "id": "1", "given": "Aino", "family": "Virtanen", "organization": "Brivo Oy",
      "phones": [ { "type": "cell", "number": "+358 40 123 4567" } ],
      "emails": [ "aino.virtanen@example.com" ] },
    { "id": "2", "given": "Jonas", "family": "Berg",
      "phones": [ { "type": "home", "number": "+46 8 555 0102" },
                  { "type": "cell", "number": "+46 70 555 0199" } ] },
    { "id": "3", "formatted": "Pizzeria Napoli", "organization": "Pizzeria Napoli",
      "phones": [ { "type": "work", "number": "+49 30 5550 1234" } ],
      "note": "Open daily, 11-23; delivery too" }
])";

QJsonArray loadContacts()
{
    QFile file(ContactExporter::contactSourcePath());
    QByteArray json(sampleContacts);
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly)) {
            qCWarning(lcContacts, "Contacts cannot be read from %s", qPrintable(file.fileName()));
            return {};
        }
        json = file.readAll();
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (!document.isArray())
        qCWarning(lcContacts, "Contacts in %s are not a JSON array: %s",
                  qPrintable(file.fileName()), qPrintable(error.errorString()));
    return document.array();
}

QJsonObject findContact(const QString &id)
{
    const QJsonArray contacts = loadContacts();
    for (const QJsonValue &contact : contacts) {
        if (contact.toObject().value(QLatin1String("id")).toString() == id)
            return contact.toObject();
    }
    return {};
}

// RFC 2426 text value: backslash, comma, semicolon and line breaks escaped.
QString escaped(QString text)
{
    text.replace(u'\\', QLatin1String("\\\\"));
    text.replace(u',', QLatin1String("\\,"));
    text.replace(u';', QLatin1String("\\;"));
    text.replace(QRegularExpression(QStringLiteral("\r\n|\r|\n")), QStringLiteral("\\n"));
    return text;
}

int sequenceLength(uchar lead)
{
    return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
}

// Lines longer than 75 octets continue on the next line after a space, never
// inside a UTF-8 sequence.
QByteArray folded(const QString &line)
{
    const QByteArray bytes = line.toUtf8();
    QByteArray result;
    int lineLength = 0;
    for (int i = 0; i < bytes.size();) {
        const int length = sequenceLength(uchar(bytes.at(i)));
        if (lineLength + length > 75) {
            result += "\r\n ";
            lineLength = 1;
        }
        result += bytes.mid(i, length);
        lineLength += length;
        i += length;
    }
    return result + "\r\n";
}

QString text(const QJsonObject &contact, const char *field)
{
    return contact.value(QLatin1String(field)).toString().trimmed();
}

QString formattedName(const QJsonObject &contact)
{
    QString name = text(contact, "formatted");
    if (name.isEmpty())
        name = QStringList { text(contact, "given"), text(contact, "family") }.join(u' ').trimmed();
    if (name.isEmpty())
        name = text(contact, "organization");
    return name.isEmpty() ? text(contact, "id") : name;
}

// Only letters and dashes may go into a TYPE parameter.
QString phoneType(const QJsonObject &phone)
{
    QString type = phone.value(QLatin1String("type")).toString().toUpper();
    type.remove(QRegularExpression(QStringLiteral("[^A-Z-]")));
    return type.isEmpty() ? QStringLiteral("VOICE") : type;
}

QByteArray contactCard(const QJsonObject &contact)
{
    QStringList lines { QStringLiteral("BEGIN:VCARD"), QStringLiteral("VERSION:3.0") };
    lines << QStringLiteral("N:%1;%2;;;")
                 .arg(escaped(text(contact, "family")), escaped(text(contact, "given")));
    lines << QStringLiteral("FN:") + escaped(formattedName(contact));
    if (!text(contact, "organization").isEmpty())
        lines << QStringLiteral("ORG:") + escaped(text(contact, "organization"));
    for (const QJsonValue &phone : contact.value(QLatin1String("phones")).toArray()) {
        const QString number = phone.toObject().value(QLatin1String("number")).toString().trimmed();
        if (!number.isEmpty())
            lines << QStringLiteral("TEL;TYPE=%1:%2")
                         .arg(phoneType(phone.toObject()), escaped(number));
    }
    for (const QJsonValue &email : contact.value(QLatin1String("emails")).toArray()) {
        if (!email.toString().trimmed().isEmpty())
            lines << QStringLiteral("EMAIL;TYPE=INTERNET:") + escaped(email.toString().trimmed());
    }
    if (!contact.value(QLatin1String("note")).toString().isEmpty())
        lines << QStringLiteral("NOTE:") + escaped(contact.value(QLatin1String("note")).toString());
    lines << QStringLiteral("END:VCARD");
    QByteArray card;
    for (const QString &line : std::as_const(lines))
        card += folded(line);
    return card;
}

// The receiving side sees the file name, so it carries the contact's name,
// reduced to characters safe in any file system.
QString fileTemplate(const QString &name)
{
    QString safe = name;
    safe.replace(QRegularExpression(QStringLiteral("[^\\w .-]"),
                                    QRegularExpression::UseUnicodePropertiesOption),
                 QStringLiteral("_"));
    safe = safe.trimmed();
    while (safe.startsWith(u'.'))
        safe.remove(0, 1);
    if (safe.isEmpty())
        safe = QStringLiteral("contact");
    return QDir::tempPath() + u'/' + safe.left(64) + QLatin1String("-XXXXXX.vcf");
}

} // namespace

QString ContactExporter::contactSourcePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QLatin1String("/ovrin/contacts.json");
}

QTemporaryFile *ContactExporter::createContactCardFile(const QString &iri)
{
    if (!iri.startsWith(ContactIriPrefix))
        return nullptr;
    const QString id = QUrl::fromPercentEncoding(iri.mid(ContactIriPrefix.size()).toUtf8());
    const QJsonObject contact = id.isEmpty() ? QJsonObject() : findContact(id);
    if (contact.isEmpty()) {
        qCDebug(lcContacts, "No contact %s", qPrintable(iri));
        return nullptr;
    }
    auto *file = new QTemporaryFile(fileTemplate(formattedName(contact)));
    const QByteArray card = contactCard(contact);
    if (!file->open() || file->write(card) != card.size() || !file->flush()) {
        qCWarning(lcContacts, "Contact card cannot be written to %s: %s",
                  qPrintable(file->fileName()), qPrintable(file->errorString()));
        delete file;
        return nullptr;
    }
    // Closed, so that the sender reads it from the start; the name stays.
    file->close();
    return file;
}

} // namespace Ovrin
