#ifndef TRANSFERUI_CLIENT_H
#define TRANSFERUI_CLIENT_H

#include <QObject>

namespace TransferUI {

class Transfer;

// A connection to the transfer UI service: registers entries, takes them out
// and brings the transfer UI window up.
class Q_DECL_EXPORT Client : public QObject
{
    Q_OBJECT
public:
    enum TransferType { TransferTypeUpload = 0, TransferTypeDownload = 1, TransferTypeSync = 2 };
    Q_ENUM(TransferType)

    explicit Client(QObject *parent = nullptr);
    ~Client() override;

    // False while the service is not available.
    bool isValid() const;

    // A new entry owned by the caller, or null when the service refuses it.
    Transfer *registerTransfer(const QString &name, TransferType type,
                               const QString &clientId = QString());
    // Takes the entry out of the transfer UI; its object stays with its owner.
    bool removeTransfer(const QString &transferId);
    bool showUI();
};

} // namespace TransferUI

#endif // TRANSFERUI_CLIENT_H
