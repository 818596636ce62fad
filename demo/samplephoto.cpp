#include "samplephoto.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QSaveFile>

namespace SamplePhoto {

QByteArray jpeg(const QString &caption, int width, int height)
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
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 85);
    return bytes;
}

bool ensure(const QString &path, const QString &caption, int width, int height)
{
    if (QFileInfo::exists(path))
        return true;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(jpeg(caption, width, height));
    return file.commit();
}

} // namespace SamplePhoto
