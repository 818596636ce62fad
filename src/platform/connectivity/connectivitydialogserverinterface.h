#ifndef OVRIN_CONNECTIVITYDIALOGSERVERINTERFACE_H
#define OVRIN_CONNECTIVITYDIALOGSERVERINTERFACE_H

#include <QString>
#include <QVariant>

class OrvelSceneWindow;

namespace Ovrin {

// Implemented by an application that shows dialogs on behalf of others (a
// system dialog server): windows handed to it are shown on its own screen
// instead of the calling application's window. A server may delete a window
// once it has hidden it; the library never touches a window it handed over
// after hiding it, other than through a guarded pointer.
class ConnectivityDialogServerInterface
{
public:
    virtual ~ConnectivityDialogServerInterface() = default;

    // Brings the window on screen.
    virtual void showDialog(OrvelSceneWindow *window) = 0;
    // Takes the window away again; harmless for a window not on screen.
    virtual void hideDialog(OrvelSceneWindow *window) = 0;
    // Whether the server has any window on screen.
    virtual bool isShowingDialog() const = 0;
    // Keeps a value the server's own code can read under name.
    virtual void setProcessObject(const QString &name, const QVariant &value) = 0;
};

} // namespace Ovrin

#endif // OVRIN_CONNECTIVITYDIALOGSERVERINTERFACE_H
