#ifndef SHEETTESTING_H
#define SHEETTESTING_H

// Finding the pieces of a sheet by object name and saving pictures of it.

#include <QApplication>
#include <QDir>
#include <QGraphicsItem>
#include <QGraphicsObject>
#include <QKeyEvent>
#include <QTest>
#include <QWidget>

namespace SheetTesting {

template<typename T> T *findItem(const QGraphicsItem *root, const QString &objectName = QString())
{
    const auto children = root->childItems();
    for (QGraphicsItem *child : children) {
        if (auto object = qobject_cast<T *>(child->toGraphicsObject())) {
            if (objectName.isEmpty() || object->objectName() == objectName)
                return object;
        }
        if (T *found = findItem<T>(child, objectName))
            return found;
    }
    return nullptr;
}

// Typing that also covers characters without a key of their own (digits of
// other scripts), as an input method delivers them.
inline void typeText(QWidget *window, const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 128) {
            QTest::keyClick(window, c.toLatin1());
            continue;
        }
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(window, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(window, &release);
    }
}

inline QString galleryPath(const QString &name)
{
    QDir dir(QStringLiteral(OVRIN_GALLERY_DIR));
    dir.mkpath(QStringLiteral("."));
    return dir.filePath(name);
}

} // namespace SheetTesting

#endif // SHEETTESTING_H
