#ifndef SHEETTESTING_H
#define SHEETTESTING_H

// Finding the pieces of a sheet by object name and saving pictures of it.

#include "toolkittesting.h"

#include <QDir>

namespace SheetTesting {

using ToolkitTesting::findItem;
using ToolkitTesting::typeText;

#ifdef OVRIN_GALLERY_DIR
inline QString galleryPath(const QString &name)
{
    QDir dir(QStringLiteral(OVRIN_GALLERY_DIR));
    dir.mkpath(QStringLiteral("."));
    return dir.filePath(name);
}
#endif

} // namespace SheetTesting

#endif // SHEETTESTING_H
