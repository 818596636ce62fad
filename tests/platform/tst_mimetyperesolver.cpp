// MIME types by file name and content, and the icons that stand for them.

#include "mimetyperesolver.h"
#include "testenvironment.h"

#include <QTemporaryDir>

using namespace Ovrin;

class TestMimeTypeResolver : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void typeByName_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("type");
        const char *rows[][3] = {
            { "jpeg", "/nowhere/photo.jpg", "image/jpeg" },
            { "upper-case suffix", "/nowhere/SONG.MP3", "audio/mpeg" },
            { "video", "clip.mp4", "video/mp4" },
            { "contact card", "anna.vcf", "text/vcard" },
            { "no suffix", "/nowhere/blob", "application/octet-stream" },
        };
        for (const auto &row : rows)
            QTest::newRow(row[0]) << row[1] << row[2];
    }

    void typeByName()
    {
        QFETCH(QString, path);
        QFETCH(QString, type);
        QCOMPARE(MimeTypeResolver::mimeTypeForFilePath(path), type);
    }

    void existingFileGoesByContent()
    {
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("received.dat")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::fromHex("89504e470d0a1a0a0000000d49484452"));
        file.close();
        QCOMPARE(MimeTypeResolver::mimeTypeForFilePath(file.fileName()),
                 QStringLiteral("image/png"));
    }

    void icons_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("icon");
        const char *rows[][4] = {
            { "image", "a.jpg", "image/jpeg", "image" },
            { "type in capitals", "a", "AUDIO/MPEG", "audio" },
            { "video", "a", "video/x-matroska", "videos" },
            { "vcard alias", "a", "text/x-vcard", "contact" },
            { "type by name", "anna.vcf", "", "contact" },
            { "generic type, telling name", "clip.mp4", "application/octet-stream", "videos" },
            { "pdf", "a", "application/pdf", "pdf" },
            { "derived from text", "a", "application/x-shellscript", "text" },
            { "svg is an image", "a", "image/svg+xml", "image" },
            { "unknown type", "a.bin", "application/x-no-such-thing", "file-unknown" },
            { "nothing known", "blob", "", "file-unknown" },
        };
        for (const auto &row : rows)
            QTest::newRow(row[0]) << row[1] << row[2]
                                  << QStringLiteral("icon-m-content-%1-inverse").arg(row[3]);
    }

    void icons()
    {
        QFETCH(QString, path);
        QFETCH(QString, type);
        QFETCH(QString, icon);
        QCOMPARE(MimeTypeResolver::iconForFileAndMimeType(path, type), icon);
    }
};

OVRIN_TEST_MAIN_NO_SIMULATOR(TestMimeTypeResolver)
#include "tst_mimetyperesolver.moc"
