#ifndef OVRIN_BLUETOOTHTRANSFERTRACKER_H
#define OVRIN_BLUETOOTHTRANSFERTRACKER_H

#include "ovringlobal.h"

#include <QObject>
#include <QStringList>

namespace Ovrin {

class BluetoothTransferTrackerPrivate;

/// Shows one OBEX transfer (one or more files, received or sent) in the
/// transfer UI: the owner adds the files, reports progress and the state of
/// each file, and hears of a cancel pressed in the transfer UI. NFC transfers
/// also keep the context property "/com/brivo/bt_ui/nfcTransferStatus" up to
/// date. The class knows where received files land, too (filePath()).
class OVRIN_EXPORT BluetoothTransferTracker : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList files READ files)
    Q_PROPERTY(QString targetName READ targetName WRITE setTargetName)
public:
    /// The direction of the transfer.
    enum Type {
        Download = 0, ///< Files received.
        Upload = 1 ///< Files sent.
    };
    Q_ENUM(Type)

    /// The state of one file of the transfer.
    enum State { Pending = 0, Active = 1, Done = 2 };
    Q_ENUM(State)

    /// A tracker for a transfer in direction type; shown at the first updateStatus().
    explicit BluetoothTransferTracker(Type type, QObject *parent = nullptr);
    ~BluetoothTransferTracker() override;

    /// Only before the first updateStatus(), which shows the transfer. A null
    /// MIME type is taken as "application/octet-stream".
    void addFile(const QString &fileName, const QString &mimeType, const QString &uri);
    /// Updates the transfer UI entry of a known file; ignored once the
    /// transfer has ended.
    void setFileState(const QString &fileName, State state);
    /// Pending for a file the tracker does not know.
    State transferState(const QString &fileName) const;
    /// In the order they were added.
    QStringList files() const;

    /// The other device's name, shown with the transfer.
    QString targetName() const;
    /// See targetName().
    void setTargetName(const QString &targetName);

    /// The transfer was started by touching devices (NFC): no transfer UI
    /// window, and the NFC context property follows it.
    void setNfcTransfer(bool nfc);

    /// The median of the last ten speeds passed in, this one included; the
    /// speed itself while fewer than three are known.
    int calculateMedianSpeed(int speed);

    /// Where a file of this transfer lands, by the MIME type it was added with.
    QString filePath(const QString &fileName) const;
    /// Where a received file of the given type lands: under basePath(), in
    /// "Music", "Pictures" or "Movies" for audio, image and video types, each
    /// only while that folder exists (folders are never created). An absolute
    /// path comes back unchanged. Of any other name only the part after its
    /// last "/" is used, so that no name can reach outside the folder; a name
    /// with nothing left ("", ".", "..", "dir/") gives an empty path, and so
    /// does a missing base folder: received files never go anywhere else.
    static QString filePath(const QString &fileName, const QString &mimeType);

    /// The folder received files are kept under: "/home/user/MyDocs" on the
    /// handset. Tests and the demo, which run with a home folder of their own,
    /// point it elsewhere; an empty path restores the handset's folder.
    static QString basePath();
    /// See basePath().
    static void setBasePath(const QString &path);

public Q_SLOTS:
    /// done is the fraction done (0..1), seconds the time left. The first call
    /// shows the transfer; the first with done above 0 brings the transfer UI
    /// window up (never for NFC transfers).
    void updateStatus(float done, int seconds, int speed = 0);
    /// The total size of the transfer, in bytes.
    void setSize(quint64 bytes);
    /// Ends the transfer as failed; does nothing once it has ended.
    void setError(const QString &title, const QString &errorMsg);
    /// As the cancel button of the transfer UI; does nothing once the
    /// transfer has ended.
    void cancelTransfer();

Q_SIGNALS:
    /// The user cancelled the transfer in the transfer UI (or cancelTransfer()).
    void canceled();

private:
    BluetoothTransferTrackerPrivate *d_ptr;
    Q_DECLARE_PRIVATE(BluetoothTransferTracker)
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHTRANSFERTRACKER_H
