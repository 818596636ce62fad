#ifndef SAMPLEPHOTO_H
#define SAMPLEPHOTO_H

#include <QByteArray>
#include <QString>

// Pictures the demo shares and has pushed to it, painted on the spot so the
// demo ships no image files.
namespace SamplePhoto {

// A JPEG of a sunset with caption written in. grain: how far each pixel may
// stray from the painted colour, as a camera's sensor noise; a grainy picture
// takes as many bytes as a camera's photo of its size, a smooth one a tenth.
QByteArray jpeg(const QString &caption, int width = 800, int height = 600, int grain = 0);
// Writes it to path (folders made as needed) unless a file is there already.
bool ensure(const QString &path, const QString &caption, int width = 800, int height = 600,
            int grain = 0);

} // namespace SamplePhoto

#endif // SAMPLEPHOTO_H
