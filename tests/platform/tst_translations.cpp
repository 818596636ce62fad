// The English catalogue: every logical text id the library uses has a text,
// with the placeholders its callers fill, and the compiled catalogue is the
// one qtTrId reads.

#include "ovrintranslations.h"
#include "testenvironment.h"

#include <QDirIterator>
#include <QRegularExpression>
#include <QSet>
#include <QXmlStreamReader>

namespace {

// The ids whose texts take arguments, with how many their callers pass; every
// other text takes none.
const QMap<QString, int> arguments {
    { "qtn_conn_bt_connection_failed", 1 },  { "qtn_conn_bt_connection_request_i", 1 },
    { "qtn_conn_bt_pair_with", 1 },          { "qtn_conn_bt_passkey_display_info", 1 },
    { "qtn_conn_bt_passkey_entered", 1 },    { "qtn_conn_bt_receive_info1", 2 },
    { "qtn_conn_bt_remove_block_i", 1 },     { "qtn_conn_bt_remove_pairing_failed", 1 },
    { "qtn_conn_bt_t_canceled", 1 },         { "qtn_conn_bt_t_connection_failed", 1 },
    { "qtn_conn_bt_t_waiting_response", 1 }, { "qtn_nfc_receive_unknown_txt", 1 },
};

QString projectDir()
{
    return QDir(QStringLiteral(OVRIN_TESTS_SOURCE_DIR "/..")).absolutePath();
}

// id -> translation, from the catalogue's source.
QMap<QString, QString> readCatalogue(QString *error)
{
    QFile file(projectDir() + QStringLiteral("/translations/ovrin-bluetooth_en.ts"));
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return {};
    }
    QMap<QString, QString> texts;
    QXmlStreamReader xml(&file);
    QString id;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("message"))
            id = xml.attributes().value(QLatin1String("id")).toString();
        else if (xml.name() == QLatin1String("translation"))
            texts.insert(id, xml.readElementText());
    }
    if (xml.hasError())
        *error = xml.errorString();
    return texts;
}

// Every text id in the code (passed to qtTrId or kept in tables), with where.
QMultiMap<QString, QString> idsUsedInSources()
{
    static const QRegularExpression comment(QStringLiteral("//[^\\n]*"));
    static const QRegularExpression literal(QStringLiteral("\"(qtn_[a-z0-9_]+)\""));
    QMultiMap<QString, QString> used;
    for (const QString &folder : { QStringLiteral("src"), QStringLiteral("demo") }) {
        QDirIterator it(projectDir() + u'/' + folder,
                        { QStringLiteral("*.cpp"), QStringLiteral("*.h") }, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QString code = QString::fromUtf8(file.readAll()).remove(comment);
            for (auto match = literal.globalMatch(code); match.hasNext();)
                used.insert(match.next().captured(1), it.filePath());
        }
    }
    return used;
}

} // namespace

class TestTranslations : public QObject
{
    Q_OBJECT

    QMap<QString, QString> m_catalogue;

private Q_SLOTS:
    void initTestCase()
    {
        QString error;
        m_catalogue = readCatalogue(&error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(!m_catalogue.isEmpty());
    }

    // Both ways: an id without a text shows the id; a text nobody uses is dead.
    void catalogueHoldsExactlyTheIdsInTheSources()
    {
        const QMultiMap<QString, QString> used = idsUsedInSources();
        for (auto it = used.cbegin(); it != used.cend(); ++it)
            QVERIFY2(!m_catalogue.value(it.key()).trimmed().isEmpty(),
                     qPrintable(it.key() + QStringLiteral(" in ") + it.value()));
        for (auto it = m_catalogue.cbegin(); it != m_catalogue.cend(); ++it)
            QVERIFY2(used.contains(it.key()), qPrintable(QStringLiteral("unused id ") + it.key()));
    }

    // A text without the placeholder loses the device or file name; one with
    // a placeholder nobody fills shows "%2" to the user.
    void textsHaveThePlaceholdersTheirCallersFill()
    {
        static const QRegularExpression placeholder(QStringLiteral("%(\\d+)"));
        for (auto it = m_catalogue.cbegin(); it != m_catalogue.cend(); ++it) {
            QSet<int> found, expected;
            for (auto match = placeholder.globalMatch(it.value()); match.hasNext();)
                found.insert(match.next().captured(1).toInt());
            for (int n = 1; n <= arguments.value(it.key()); ++n)
                expected.insert(n);
            QVERIFY2(found == expected, qPrintable(it.key() + QStringLiteral(": ") + it.value()));
        }
    }

    // lrelease drops every message of an id-based catalogue unless told it is one.
    void compiledCatalogueServesQtTrId()
    {
        QCOMPARE(qtTrId("qtn_conn_bt_pair"), QStringLiteral("qtn_conn_bt_pair"));
        QVERIFY(Ovrin::installTranslations(QLocale(QLocale::English)));
        for (auto it = m_catalogue.cbegin(); it != m_catalogue.cend(); ++it)
            QCOMPARE(qtTrId(it.key().toUtf8().constData()), it.value());
        QCOMPARE(qtTrId("qtn_conn_bt_pair_with").arg(QStringLiteral("Car kit")),
                 QStringLiteral("Pair with Car kit"));
        // Other languages fall back to English.
        QVERIFY(Ovrin::installTranslations(QLocale(QLocale::Finnish, QLocale::Finland)));
        QCOMPARE(qtTrId("qtn_comm_cancel"), m_catalogue.value(QStringLiteral("qtn_comm_cancel")));
    }
};

OVRIN_TEST_MAIN_NO_SIMULATOR(TestTranslations)
#include "tst_translations.moc"
