// The receive question and the unknown-file notice as the user meets them:
// the texts on screen and the buttons answered by taps.

#include "bluetoothdevice.h"
#include "bluetoothfilereceivedialog.h"
#include "orvelapplicationwindow.h"
#include "orvelbutton.h"
#include "orvellabel.h"
#include "ovrintranslations.h"
#include "testenvironment.h"
#include "toolkittesting.h"
#include "unknownfiletypedialog.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

using namespace ToolkitTesting;
using Ovrin::BluetoothDevice;
using Ovrin::BluetoothFileReceiveDialog;
using Ovrin::UnknownFileTypeDialog;

namespace {

BluetoothDevice namedDevice(const QString &name)
{
    QVariantMap properties { { "Address", "00:11:22:33:44:55" } };
    if (!name.isNull())
        properties.insert("Name", name);
    return BluetoothDevice(properties);
}

// Every text the user can read in the box, in item order.
QStringList shownTexts(const QGraphicsItem *root)
{
    QStringList texts;
    const auto children = root->childItems();
    for (QGraphicsItem *child : children) {
        if (!child->isVisible())
            continue;
        if (auto label = qobject_cast<OrvelLabel *>(child->toGraphicsObject()))
            texts << label->text();
        texts << shownTexts(child);
    }
    return texts;
}

} // namespace

class TestReceiveDialogs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(Ovrin::installTranslations(QLocale(QLocale::English))); }

    void init() { QTest::failOnWarning(QRegularExpression(".")); }

    // The sender's texts are shown as they are, placeholders and all.
    void receiveQuestionIsAnsweredByTaps_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("shownName");
        QTest::newRow("named") << "Tessa Phone"
                               << "holiday.jpg"
                               << "Tessa Phone";
        QTest::newRow("no name") << QString() << "notes.txt"
                                 << qtTrId("qtn_conn_bt_unnamed_device");
        QTest::newRow("placeholder in the name") << "Phone %2 %1"
                                                 << "a.jpg"
                                                 << "Phone %2 %1";
        QTest::newRow("placeholder in the file") << "Phone"
                                                 << "%1%2.jpg"
                                                 << "Phone";
    }

    void receiveQuestionIsAnsweredByTaps()
    {
        QFETCH(QString, name);
        QFETCH(QString, fileName);
        QFETCH(QString, shownName);
        OrvelApplicationWindow window;
        BluetoothFileReceiveDialog dialog(namedDevice(name), fileName);
        QString expected = qtTrId("qtn_conn_bt_receive_info1");
        expected.replace(QLatin1String("%1"), "\x01");
        expected.replace(QLatin1String("%2"), fileName);
        expected.replace("\x01", shownName);
        QStringList seen;
        QTimer::singleShot(0, &dialog, [&] {
            seen = shownTexts(&dialog);
            tap(dialog.button(QMessageBox::No));
        });
        QCOMPARE(dialog.exec(&window), int(QMessageBox::No));
        QVERIFY(seen.contains(qtTrId("qtn_conn_bt_receive_file")));
        QVERIFY(seen.contains(expected));

        QTimer::singleShot(0, &dialog, [&] { tap(dialog.button(QMessageBox::Yes)); });
        QCOMPARE(dialog.exec(&window), int(QMessageBox::Yes));
    }

    void unknownFileOffersToDelete()
    {
        OrvelApplicationWindow window;
        QTemporaryDir folder;
        const QString path = folder.filePath("tune.xyz");
        QVERIFY(QFile(path).open(QIODevice::WriteOnly));
        UnknownFileTypeDialog dialog(QUrl::fromLocalFile(path), "tune.xyz");
        QCOMPARE(dialog.filePath(), path);
        QCOMPARE(dialog.buttons().size(), 1);

        QStringList seen;
        QTimer::singleShot(0, &dialog, [&] {
            seen = shownTexts(&dialog);
            tap(dialog.button(QMessageBox::Ok));
        });
        QCOMPARE(dialog.exec(&window), int(QMessageBox::Ok));
        QCOMPARE(seen,
                 QStringList({ qtTrId("qtn_nfc_receive_unknown_tit"),
                               qtTrId("qtn_nfc_receive_unknown_txt").arg("tune.xyz") }));
        // Deleting is the caller's business.
        QVERIFY(QFileInfo::exists(path));

        UnknownFileTypeDialog remote(QUrl("http://example.com/tune.xyz"),
                                     QStringLiteral("tune.xyz"));
        QVERIFY(remote.filePath().isEmpty());
    }
};

OVRIN_TEST_MAIN_NO_SIMULATOR(TestReceiveDialogs)
#include "tst_receivedialogs.moc"
