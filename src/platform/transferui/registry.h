#ifndef TRANSFERUI_REGISTRY_H
#define TRANSFERUI_REGISTRY_H

#include <QList>
#include <QObject>
#include <QString>
#include <QVariantList>

#include <memory>

namespace TransferUI {

class Transfer;
class RegistryPrivate;

// What the transfer UI shows of one entry.
struct Q_DECL_EXPORT TransferInfo
{
    enum State { New, Pending, Active, Completed, Done, Failed, Cancelled };

    QString id;
    QString name;
    int type = 0; // Client::TransferType
    QString clientId;
    State state = New;
    quint64 size = 0;
    int estimate = -1;
    bool canPause = true;
    QString pendingReason;
    float progress = 0.0f;
    int secondsLeft = 0;
    int filesCount = 0;
    int currentFileIndex = 0;
    QString targetName;
    QString transferTypeString;
    QString icon;
    QString thumbnailFile;
    QString thumbnailMimeType;
    bool openable = false;
    QString resultMessage; // of markCompleted or markDone
    QString resultUri;
    QString failureTitle;
    QString failureMessage;

    bool isFinished() const { return state == Done || state == Failed || state == Cancelled; }
};

// One call a client made on the transfer UI, as it arrived.
struct Q_DECL_EXPORT RecordedCall
{
    QString transferId; // empty for calls on the client itself
    QString method;
    QVariantList arguments;
    bool accepted = false;
};

// The transfer UI service of the handset, kept in process: the entries every
// client registered, their state, and a log of every call made on them. The
// demo lists the entries on a page; tests read the log. Used from the thread
// running the event loop only.
class Q_DECL_EXPORT Registry : public QObject
{
    Q_OBJECT
public:
    static Registry *instance();
    ~Registry() override;

    // Entries still shown, oldest first.
    QList<TransferInfo> transfers() const;
    bool contains(const QString &id) const;
    TransferInfo transfer(const QString &id) const;

    QList<RecordedCall> calls() const;
    QList<RecordedCall> calls(const QString &transferId) const;
    // How often a client asked to bring the transfer UI window up.
    int uiRequests() const;

    // The user pressed cancel on the entry: its owner gets Transfer::cancel().
    // False for an unknown or finished entry, or one whose owner is gone.
    bool requestCancel(const QString &id);

    // While unavailable, registration fails and every call is refused, as when
    // the service is not running.
    void setAvailable(bool available);
    bool isAvailable() const;

    // Forgets every entry and call (between test cases).
    void clear();

Q_SIGNALS:
    void transferAdded(const QString &id);
    void transferChanged(const QString &id);
    void transferRemoved(const QString &id);
    void callRecorded(const TransferUI::RecordedCall &call);
    void uiRequested();

private:
    Registry();
    friend class Client;
    friend class Transfer;
    std::unique_ptr<RegistryPrivate> d;
};

} // namespace TransferUI

Q_DECLARE_METATYPE(TransferUI::RecordedCall)

#endif // TRANSFERUI_REGISTRY_H
