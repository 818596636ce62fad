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
        QTest::newRow("jpeg") << "/nowhere/photo.jpg"
                              << "image/jpeg";
        QTest::newRow("upper-case suffix") << "/nowhere/SONG.MP3"
                                           << "audio/mpeg";
        QTest::newRow("video") << "clip.mp4"
                               << "video/mp4";
        QTest::newRow("contact card") << "anna.vcf"
                                      << "text/vcard";
        QTest::newRow("no suffix") << "/nowhere/blob"
                                   << "application/octet-stream";
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
        QTest::newRow("image") << "a.jpg"
                               << "image/jpeg"
                               << "icon-m-content-image-inverse";
        QTest::newRow("type in capitals") << "a"
                                          << "AUDIO/MPEG"
                                          << "icon-m-content-audio-inverse";
        QTest::newRow("video") << "a"
                               << "video/x-matroska"
                               << "icon-m-content-videos-inverse";
        QTest::newRow("vcard alias") << "a"
                                     << "text/x-vcard"
                                     << "icon-m-content-contact-inverse";
        QTest::newRow("type by name") << "anna.vcf"
                                      << ""
                                      << "icon-m-content-contact-inverse";
        QTest::newRow("generic type, telling name") << "clip.mp4"
                                                    << "application/octet-stream"
                                                    << "icon-m-content-videos-inverse";
        QTest::newRow("pdf") << "a"
                             << "application/pdf"
                             << "icon-m-content-pdf-inverse";
        QTest::newRow("derived from text") << "a"
                                           << "application/x-shellscript"
                                           << "icon-m-content-text-inverse";
        QTest::newRow("svg is an image") << "a"
                                         << "image/svg+xml"
                                         << "icon-m-content-image-inverse";
        QTest::newRow("unknown type") << "a.bin"
                                      << "application/x-no-such-thing"
                                      << "icon-m-content-file-unknown-inverse";
        QTest::newRow("nothing known") << "blob"
                                       << ""
                                       << "icon-m-content-file-unknown-inverse";
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
