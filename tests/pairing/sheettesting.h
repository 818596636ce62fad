#ifndef SHEETTESTING_H
#define SHEETTESTING_H

// Finding the pieces of a sheet by object name and saving pictures of it.

#include "toolkittesting.h"

#include <QApplication>
#include <QDir>
#include <QGraphicsItem>
#include <QGraphicsObject>
#include <QKeyEvent>
#include <QTest>
#include <QWidget>

namespace SheetTesting {

using ToolkitTesting::findItem;
using ToolkitTesting::typeText;

inline QString galleryPath(const QString &name)
{
    QDir dir(QStringLiteral(OVRIN_GALLERY_DIR));
    dir.mkpath(QStringLiteral("."));
    return dir.filePath(name);
}

} // namespace SheetTesting

#endif // SHEETTESTING_H
