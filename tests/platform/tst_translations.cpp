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

// Every text id of the library, with the number of arguments its callers pass.
const QMap<QString, int> &textIds()
{
    static const QMap<QString, int> ids {
        { "qtn_comm_cancel", 0 },
        { "qtn_comm_command_continue", 0 },
        { "qtn_comm_command_delete", 0 },
        { "qtn_conn_bluetooth", 0 },
        { "qtn_conn_bluetooth_devices", 0 },
        { "qtn_conn_bt_a2dp", 0 },
        { "qtn_conn_bt_at_least_one_char", 0 },
        { "qtn_conn_bt_authorization", 0 },
        { "qtn_conn_bt_block", 0 },
        { "qtn_conn_bt_blocked_devices", 0 },
        { "qtn_conn_bt_bluetooth_address", 0 },
        { "qtn_conn_bt_bpap", 0 },
        { "qtn_conn_bt_confirm", 0 },
        { "qtn_conn_bt_connect", 0 },
        { "qtn_conn_bt_connection_failed", 1 },
        { "qtn_conn_bt_connection_request", 0 },
        { "qtn_conn_bt_connection_request_i", 1 },
        { "qtn_conn_bt_device_name", 0 },
        { "qtn_conn_bt_device_name_too_long", 0 },
        { "qtn_conn_bt_devices_in_range", 0 },
        { "qtn_conn_bt_disconnect", 0 },
        { "qtn_conn_bt_discoverable", 0 },
        { "qtn_conn_bt_dun", 0 },
        { "qtn_conn_bt_empty_device_name", 0 },
        { "qtn_conn_bt_ftp", 0 },
        { "qtn_conn_bt_hfp", 0 },
        { "qtn_conn_bt_hsp", 0 },
        { "qtn_conn_bt_is_off", 0 },
        { "qtn_conn_bt_my_device", 0 },
        { "qtn_conn_bt_name_info", 0 },
        { "qtn_conn_bt_not_saved", 0 },
        { "qtn_conn_bt_opp", 0 },
        { "qtn_conn_bt_other_devices", 0 },
        { "qtn_conn_bt_pair", 0 },
        { "qtn_conn_bt_pair_fail_auth_failed", 0 },
        { "qtn_conn_bt_pair_fail_auth_rejected", 0 },
        { "qtn_conn_bt_pair_fail_timeout", 0 },
        { "qtn_conn_bt_pair_fail_too_little_time", 0 },
        { "qtn_conn_bt_pair_with", 1 },
        { "qtn_conn_bt_paired_devices", 0 },
        { "qtn_conn_bt_pairing_failed", 0 },
        { "qtn_conn_bt_pairing_ongoing", 0 },
        { "qtn_conn_bt_passcode", 0 },
        { "qtn_conn_bt_passcode_info", 0 },
        { "qtn_conn_bt_passkey_display_info", 1 },
        { "qtn_conn_bt_passkey_entered", 1 },
        { "qtn_conn_bt_profiles", 0 },
        { "qtn_conn_bt_receive_file", 0 },
        { "qtn_conn_bt_receive_info1", 2 },
        { "qtn_conn_bt_remove_block_i", 1 },
        { "qtn_conn_bt_remove_block_q", 0 },
        { "qtn_conn_bt_remove_pairing", 0 },
        { "qtn_conn_bt_remove_pairing_failed", 1 },
        { "qtn_conn_bt_sap", 0 },
        { "qtn_conn_bt_select_device", 0 },
        { "qtn_conn_bt_send_another", 0 },
        { "qtn_conn_bt_set_trusted", 0 },
        { "qtn_conn_bt_set_untrusted", 0 },
        { "qtn_conn_bt_show_in_sm", 0 },
        { "qtn_conn_bt_spp", 0 },
        { "qtn_conn_bt_t_canceled", 1 },
        { "qtn_conn_bt_t_connection_failed", 1 },
        { "qtn_conn_bt_t_error", 0 },
        { "qtn_conn_bt_t_receive", 0 },
        { "qtn_conn_bt_t_send", 0 },
        { "qtn_conn_bt_t_send_cant", 0 },
        { "qtn_conn_bt_t_waiting_response", 1 },
        { "qtn_conn_bt_unnamed_device", 0 },
        { "qtn_conn_no_devices_found", 0 },
        { "qtn_nfc_receive_unknown_tit", 0 },
        { "qtn_nfc_receive_unknown_txt", 1 },
        { "qtn_nfc_tuidialog_dl_tit", 0 },
        { "qtn_nfc_tuidialog_dlrdy_tit", 0 },
        { "qtn_nfc_tuidialog_nok_tit", 0 },
        { "qtn_nfc_tuidialog_up_tit", 0 },
        { "qtn_nfc_tuidialog_uprdy_tit", 0 },
        { "qtn_offl_blueactive", 0 },
        { "qtn_offl_blueactive_title", 0 },
    };
    return ids;
}

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

// Every id the code passes to qtTrId or marks with QT_TRID_NOOP, with where.
QMultiMap<QString, QString> idsUsedInSources()
{
    static const QRegularExpression call(
        QStringLiteral("(?:qtTrId|QT_TRID_NOOP)\\s*\\(\\s*\"([^\"]+)\""));
    QMultiMap<QString, QString> used;
    for (const QString &folder : { QStringLiteral("src"), QStringLiteral("demo") }) {
        QDirIterator it(projectDir() + u'/' + folder,
                        { QStringLiteral("*.cpp"), QStringLiteral("*.h") }, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QString code = QString::fromUtf8(file.readAll());
            for (auto match = call.globalMatch(code); match.hasNext();)
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

    void catalogueHoldsExactlyTheLibrarysIds()
    {
        for (auto it = textIds().cbegin(); it != textIds().cend(); ++it)
            QVERIFY2(!m_catalogue.value(it.key()).trimmed().isEmpty(), qPrintable(it.key()));
        for (auto it = m_catalogue.cbegin(); it != m_catalogue.cend(); ++it)
            QVERIFY2(textIds().contains(it.key()),
                     qPrintable(QStringLiteral("unused id ") + it.key()));
    }

    // A text without the placeholder loses the device or file name; one with
    // a placeholder nobody fills shows "%2" to the user.
    void textsHaveThePlaceholdersTheirCallersFill()
    {
        static const QRegularExpression placeholder(QStringLiteral("%(\\d+)"));
        for (auto it = textIds().cbegin(); it != textIds().cend(); ++it) {
            QSet<int> found;
            for (auto match = placeholder.globalMatch(m_catalogue.value(it.key()));
                 match.hasNext();)
                found.insert(match.next().captured(1).toInt());
            QSet<int> expected;
            for (int n = 1; n <= it.value(); ++n)
                expected.insert(n);
            QVERIFY2(found == expected,
                     qPrintable(it.key() + QStringLiteral(": ") + m_catalogue.value(it.key())));
        }
    }

    void everyIdInTheSourcesHasAText()
    {
        const QMultiMap<QString, QString> used = idsUsedInSources();
        for (auto it = used.cbegin(); it != used.cend(); ++it)
            QVERIFY2(m_catalogue.contains(it.key()),
                     qPrintable(it.key() + QStringLiteral(" in ") + it.value()));
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
    }

    void otherLanguagesFallBackToEnglish()
    {
        QVERIFY(Ovrin::installTranslations(QLocale(QLocale::Finnish, QLocale::Finland)));
        QCOMPARE(qtTrId("qtn_comm_cancel"), m_catalogue.value(QStringLiteral("qtn_comm_cancel")));
    }
};

OVRIN_TEST_MAIN_NO_SIMULATOR(TestTranslations)
#include "tst_translations.moc"
