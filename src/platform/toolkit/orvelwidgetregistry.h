#ifndef ORVELWIDGETREGISTRY_H
#define ORVELWIDGETREGISTRY_H

#include <QString>
#include <QStringList>

class QGraphicsWidget;
class QGraphicsItem;

// The widget classes the theme knows: each registered by class name with the
// theme (library) that styles it, and optionally a creator, so that a widget
// can be made by its class name.
class Q_DECL_EXPORT OrvelWidgetRegistry
{
public:
    using Creator = QGraphicsWidget *(*)(QGraphicsItem *parent);

    static void registerWidget(const QString &className, const QString &themeName,
                               Creator creator = nullptr);
    static bool isRegistered(const QString &className);
    static QString themeName(const QString &className);
    static QStringList registeredClasses();
    // A new widget of the class, or null when it has no creator.
    static QGraphicsWidget *create(const QString &className, QGraphicsItem *parent = nullptr);
};

// Registers a class when the library that defines it is loaded:
//   static const OrvelWidgetRegistration registration("MyPanel", "mytheme");
class Q_DECL_EXPORT OrvelWidgetRegistration
{
public:
    OrvelWidgetRegistration(const char *className, const char *themeName,
                            OrvelWidgetRegistry::Creator creator = nullptr)
    {
        OrvelWidgetRegistry::registerWidget(QString::fromLatin1(className),
                                            QString::fromLatin1(themeName), creator);
    }
};

#endif // ORVELWIDGETREGISTRY_H
