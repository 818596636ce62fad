#ifndef TESTDIALOGSERVER_H
#define TESTDIALOGSERVER_H

#include "connectivitydialogserverinterface.h"
#include "orvelapplicationwindow.h"
#include "orvelscenewindow.h"

#include <QHash>
#include <QList>
#include <QPointer>

// An application's dialog server as tests need one: shows what it is handed
// on the test's window and remembers what it showed and hid, and which
// process objects it was given.
class TestDialogServer : public Ovrin::ConnectivityDialogServerInterface
{
public:
    explicit TestDialogServer(OrvelApplicationWindow *window)
        : m_window(window)
    {
    }
    void showDialog(OrvelSceneWindow *window) override
    {
        shown.append(window);
        window->appear(m_window);
    }
    void hideDialog(OrvelSceneWindow *window) override
    {
        hidden.append(window);
        window->disappear();
    }
    bool isShowingDialog() const override { return shown.size() > hidden.size(); }
    void setProcessObject(const QString &name, const QVariant &value) override
    {
        if (value.isValid())
            processObjects.insert(name, value);
        else
            processObjects.remove(name);
    }

    // The window of type T shown last, if it still exists.
    template<typename T> T *last() const
    {
        for (auto it = shown.crbegin(); it != shown.crend(); ++it) {
            if (auto *window = qobject_cast<T *>(it->data()))
                return window;
        }
        return nullptr;
    }

    // What the server holds, by name, as a server keeps it: a plain pointer.
    QHash<QString, QVariant> processObjects;
    QList<QPointer<OrvelSceneWindow>> shown;
    QList<QPointer<OrvelSceneWindow>> hidden;

private:
    OrvelApplicationWindow *m_window;
};

// A dialog server that owns what it is shown, as servers may: it deletes a
// window the moment it hides it.
class OwningTestDialogServer : public TestDialogServer
{
public:
    using TestDialogServer::TestDialogServer;
    void hideDialog(OrvelSceneWindow *window) override
    {
        TestDialogServer::hideDialog(window);
        delete window;
    }
};

#endif // TESTDIALOGSERVER_H
