#ifndef TRANSFERUI_TRANSFER_H
#define TRANSFERUI_TRANSFER_H

#include <QObject>
#include <QVariantList>

#include <functional>

namespace TransferUI {

struct TransferInfo;
class RegistryPrivate;

// One entry of the transfer UI. Every call returns false when the service
// refuses it: the entry was taken out, the service is gone, the value makes
// no sense, or the entry has already finished.
class Q_DECL_EXPORT Transfer : public QObject
{
    Q_OBJECT
public:
    ~Transfer() override;

    QString transferId() const { return m_id; }

    bool setName(const QString &name);
    bool setTargetName(const QString &targetName);
    bool setTransferTypeString(const QString &text);
    bool setSize(quint64 bytes);
    bool setEstimate(int seconds);
    bool setCanPause(bool canPause);
    bool setFilesCount(int count);
    bool setCurrentFileIndex(int index); // 1-based
    bool setIcon(const QString &iconId);
    bool setThumbnailForFile(const QString &fileName, const QString &mimeType);

    bool setPending(const QString &reason);
    bool setActive(float done = 0.0f);
    bool updateStatus(float done, int secondsLeft);
    bool markCompleted(bool openable = true, const QString &message = QString(),
                       const QString &resultUri = QString());
    bool markDone(const QString &message = QString());
    bool markFailure(const QString &title, const QString &message);
    bool markCancelled();

Q_SIGNALS:
    // The user pressed cancel on this entry in the transfer UI.
    void cancel();

private:
    friend class Client;
    friend class RegistryPrivate;
    explicit Transfer(const QString &id);
    bool apply(const char *method, const QVariantList &arguments,
               const std::function<bool(TransferInfo &)> &change);

    QString m_id;
};

} // namespace TransferUI

#endif // TRANSFERUI_TRANSFER_H
