// Contact references written out as vCard 3.0 files: what a receiving phone
// parses back, line folding, file names and ownership, unknown contacts.

#include "contactexporter.h"
#include "testenvironment.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryFile>

#include <memory>

using namespace Ovrin;

namespace {

// Splits on separators not escaped with a backslash, then unescapes.
QStringList components(const QString &value)
{
    QStringList parts { QString() };
    for (int i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == u'\\' && i + 1 < value.size()) {
            const QChar next = value.at(++i);
            parts.last() += (next == u'n' || next == u'N') ? QChar(u'\n') : next;
        } else if (c == u';') {
            parts.append(QString());
        } else {
            parts.last() += c;
        }
    }
    return parts;
}

// The reading side of RFC 2425/2426, as far as the writer uses it: each
// property's name with its parameters (as "TEL;TYPE=CELL") to its components.
QMap<QString, QStringList> parseCard(const QByteArray &card)
{
    QByteArray unfolded = card;
    unfolded.replace("\r\n ", "");
    QMap<QString, QStringList> properties;
    for (const QByteArray &line : unfolded.split('\n')) {
        if (line.isEmpty())
            continue;
        const QString text = QString::fromUtf8(line.chopped(line.endsWith('\r') ? 1 : 0));
        const int colon = text.indexOf(u':');
        properties.insert(text.left(colon), components(text.mid(colon + 1)));
    }
    return properties;
}

void writeSource(const QByteArray &contents)
{
    const QString path = ContactExporter::contactSourcePath();
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(contents);
}

void writeContacts(const QJsonArray &contacts)
{
    writeSource(QJsonDocument(contacts).toJson());
}

// The card written for iri, read back; empty when none was written.
QByteArray exported(const QString &iri)
{
    std::unique_ptr<QTemporaryFile> card(ContactExporter::createContactCardFile(iri));
    return card && card->open() ? card->readAll() : QByteArray();
}

const QString longNote
    = QStringLiteral("Tällä rivillä on tarpeeksi tekstiä taitettavaksi, ääkkösiä 😀 ja "
                     "merkkejä; jotka pitää suojata, jotta lukija ei sekoa. Toinen lause.");

} // namespace

class TestContactExporter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QFile::remove(ContactExporter::contactSourcePath()); }

    void sampleContactsStandInWithoutASource()
    {
        QVERIFY(!QFile::exists(ContactExporter::contactSourcePath()));
        const QMap<QString, QStringList> properties
            = parseCard(exported(QStringLiteral("contact:1")));
        QCOMPARE(properties.value(QStringLiteral("VERSION")), QStringList { "3.0" });
        QVERIFY(!properties.value(QStringLiteral("FN")).value(0).isEmpty());
    }

    void cardParsesBackWithSpecialCharacters()
    {
        writeContacts({ QJsonObject {
            { "id", "7" },
            { "given", "Anna; Maria" },
            { "family", "Smith, Jr." },
            { "organization", "Back\\slash & Co" },
            { "phones",
              QJsonArray { QJsonObject { { "type", "cell" }, { "number", "+358 40 1" } },
                           QJsonObject { { "type", "Home;X" }, { "number", "+358 9 2" } } } },
            { "emails", QJsonArray { "anna@example.com" } },
            { "note", "First line\nsecond, line; end\r\nthird" } } });
        const QByteArray bytes = exported(QStringLiteral("contact:7"));
        QVERIFY(bytes.startsWith("BEGIN:VCARD\r\nVERSION:3.0\r\n"));
        QVERIFY(bytes.endsWith("END:VCARD\r\n"));
        // Commas separate list values inside a component, so they are escaped too.
        QVERIFY(bytes.contains("\r\nN:Smith\\, Jr.;Anna\\; Maria;;;\r\n"));
        QByteArray bareNewlines = bytes;
        QVERIFY(!bareNewlines.replace("\r\n", "").contains('\n'));

        const QMap<QString, QStringList> properties = parseCard(bytes);
        QCOMPARE(properties.value(QStringLiteral("N")),
                 (QStringList { "Smith, Jr.", "Anna; Maria", "", "", "" }));
        QCOMPARE(properties.value(QStringLiteral("FN")), QStringList { "Anna; Maria Smith, Jr." });
        QCOMPARE(properties.value(QStringLiteral("ORG")), QStringList { "Back\\slash & Co" });
        QCOMPARE(properties.value(QStringLiteral("TEL;TYPE=CELL")), QStringList { "+358 40 1" });
        // A parameter cannot be escaped: what does not belong in it is dropped.
        QCOMPARE(properties.value(QStringLiteral("TEL;TYPE=HOMEX")), QStringList { "+358 9 2" });
        QCOMPARE(properties.value(QStringLiteral("EMAIL;TYPE=INTERNET")),
                 QStringList { "anna@example.com" });
        QCOMPARE(properties.value(QStringLiteral("NOTE")),
                 QStringList { "First line\nsecond, line; end\nthird" });
    }

    void longLinesAreFoldedBetweenCharacters()
    {
        writeContacts({ QJsonObject {
            { "id", "long" }, { "formatted", "Long Note" }, { "note", longNote } } });
        const QByteArray bytes = exported(QStringLiteral("contact:long"));
        int folds = 0;
        for (const QByteArray &line : bytes.split('\n')) {
            const QByteArray content = line.endsWith('\r') ? line.chopped(1) : line;
            QVERIFY2(content.size() <= 75, content.constData());
            QVERIFY2(!QString::fromUtf8(content).contains(QChar::ReplacementCharacter),
                     content.constData());
            folds += content.startsWith(' ') ? 1 : 0;
        }
        QVERIFY(folds >= 2);
        QCOMPARE(parseCard(bytes).value(QStringLiteral("NOTE")).join(u';'), longNote);
    }

    void fileIsATemporaryVcfOwnedByTheCaller()
    {
        writeContacts({ QJsonObject { { "id", "x" }, { "formatted", "../../etc/passwd" } },
                        QJsonObject { { "id", "a b" }, { "given", "Spaced" } } });
        QTemporaryFile *card = ContactExporter::createContactCardFile(QStringLiteral("contact:x"));
        QVERIFY(card);
        const QFileInfo info(card->fileName());
        QCOMPARE(info.absolutePath(), QFileInfo(QDir::tempPath()).absoluteFilePath());
        QCOMPARE(info.suffix(), QStringLiteral("vcf"));
        QVERIFY(info.fileName().contains(QLatin1String("etc_passwd")));
        QVERIFY(info.exists() && info.size() > 0);
        QVERIFY(!card->isOpen());
        delete card;
        QVERIFY(!QFile::exists(info.absoluteFilePath()));

        std::unique_ptr<QTemporaryFile> spaced(
            ContactExporter::createContactCardFile(QStringLiteral("contact:a%20b")));
        QVERIFY(spaced);
        QVERIFY(QFileInfo(spaced->fileName()).fileName().startsWith(QLatin1String("Spaced-")));
    }

    void unknownReferencesGiveNull_data()
    {
        QTest::addColumn<QString>("iri");
        QTest::newRow("unknown id") << "contact:99";
        QTest::newRow("empty id") << "contact:";
        QTest::newRow("other prefix") << "file:///tmp/7.vcf";
        QTest::newRow("case differs") << "CONTACT:7";
    }

    void unknownReferencesGiveNull()
    {
        QFETCH(QString, iri);
        writeContacts({ QJsonObject { { "id", "7" }, { "given", "Anna" } } });
        const int before = QDir::temp().entryList({ QStringLiteral("*.vcf") }).size();
        QCOMPARE(ContactExporter::createContactCardFile(iri), nullptr);
        QCOMPARE(QDir::temp().entryList({ QStringLiteral("*.vcf") }).size(), before);
    }

    void brokenSourceIsReportedAndGivesNull()
    {
        writeSource("{ not json");
        QTest::ignoreMessage(
            QtWarningMsg,
            QRegularExpression(QStringLiteral("^Contacts in .* are not a JSON array")));
        QCOMPARE(ContactExporter::createContactCardFile(QStringLiteral("contact:1")), nullptr);
    }
};

OVRIN_TEST_MAIN_NO_SIMULATOR(TestContactExporter)
#include "tst_contactexporter.moc"
