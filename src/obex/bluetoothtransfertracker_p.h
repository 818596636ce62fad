#ifndef OVRIN_BLUETOOTHTRANSFERTRACKER_P_H
#define OVRIN_BLUETOOTHTRANSFERTRACKER_P_H

#include "bluetoothtransfertracker.h"

#include <QHash>
#include <QList>
#include <QObject>

class QObjectCleanupHandler;

namespace TransferUI {
class Client;
class Transfer;
} // namespace TransferUI

namespace ContextProvider {
class Service;
class Property;
} // namespace ContextProvider

namespace Ovrin {

class BluetoothTransferTrackerPrivate : public QObject
{
    Q_OBJECT
public:
    explicit BluetoothTransferTrackerPrivate(BluetoothTransferTracker *tracker);

    static QString ensureExistingPath(const QString &path);

    void createTuiTransfer();
    // Ended, or every file is Done (also when there are none).
    bool isFinished() const;
    int filesTransferred() const;
    void completeFile(const QString &fileName);
    void updateTransferIcon(const QString &file, const QString &mimeType);
    void showUI();
    void updateNfcStatus(bool running);
    QString transferTypeString(const char *download, const char *upload) const;

    BluetoothTransferTracker *q;
    BluetoothTransferTracker::Type type = BluetoothTransferTracker::Download;
    quint64 size = 0;
    bool ended = false;
    QString targetName;
    QHash<QString, QString> mimeTypes;
    QHash<QString, BluetoothTransferTracker::State> states;
    QHash<QString, QString> uris;
    // The keys of states in the order they were added: the first one names
    // the transfer.
    QStringList order;
    TransferUI::Transfer *tuiTransfer = nullptr;
    bool tuiRemoved = false;
    bool nfcTransfer = false;
    // This tracker is one of the NFC transfers the context property counts.
    bool nfcCounted = false;
    bool uiShown = false;
    QList<int> speedSamples;

    static TransferUI::Client *client;
    static int instances;
    static QObjectCleanupHandler *cleanupHandler;
    static QString basePath;
    static ContextProvider::Service *contextProviderService;
    static ContextProvider::Property *nfcTransferStatusProperty;
    static const QStringList contactCardSuffixes;

public Q_SLOTS:
    void transferCanceled();
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHTRANSFERTRACKER_P_H
