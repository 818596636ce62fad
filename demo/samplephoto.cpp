#include "samplephoto.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRandomGenerator>
#include <QSaveFile>

namespace SamplePhoto {

namespace {

// The same noise every time: the photo's bytes do not change between runs.
void addGrain(QImage *image, int grain)
{
    QRandomGenerator noise(1);
    for (int y = 0; y < image->height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image->scanLine(y));
        for (int x = 0; x < image->width(); ++x) {
            const int offset = int(noise.bounded(2 * grain + 1)) - grain;
            const QRgb colour = line[x];
            line[x] = qRgb(qBound(0, qRed(colour) + offset, 255),
                           qBound(0, qGreen(colour) + offset, 255),
                           qBound(0, qBlue(colour) + offset, 255));
        }
    }
}

} // namespace

QByteArray jpeg(const QString &caption, int width, int height, int grain)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0.0, QColor(30, 40, 110));
    sky.setColorAt(0.6, QColor(240, 120, 60));
    sky.setColorAt(1.0, QColor(250, 200, 90));
    painter.fillRect(image.rect(), sky);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 230, 140));
    painter.drawEllipse(QPointF(width / 2.0, height * 0.68), width / 8.0, width / 8.0);
    painter.setBrush(QColor(20, 30, 60));
    painter.drawRect(0, int(height * 0.72), width, height);
    painter.setPen(Qt::white);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(height / 12);
    painter.setFont(font);
    painter.drawText(QRect(0, int(height * 0.78), width, height / 6), Qt::AlignCenter, caption);
    painter.end();
    if (grain > 0)
        addGrain(&image, grain);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 85);
    return bytes;
}

bool ensure(const QString &path, const QString &caption, int width, int height, int grain)
{
    if (QFileInfo::exists(path))
        return true;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(jpeg(caption, width, height, grain));
    return file.commit();
}

} // namespace SamplePhoto
