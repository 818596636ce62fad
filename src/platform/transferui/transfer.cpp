#include "transfer.h"
#include "registry.h"
#include "registry_p.h"

namespace TransferUI {

namespace {

bool isFraction(float done)
{
    return done >= 0.0f && done <= 1.0f; // false for NaN too
}

// A completed entry only waits for markDone; a finished one takes no news.
bool isRunning(const TransferInfo &info)
{
    return !info.isFinished() && info.state != TransferInfo::Completed;
}

} // namespace

Transfer::Transfer(const QString &id)
    : m_id(id)
{
}

// The entry stays in the transfer UI until its client removes it.
Transfer::~Transfer() = default;

bool Transfer::apply(const char *method, const QVariantList &arguments,
                     const std::function<bool(TransferInfo &)> &change)
{
    RegistryPrivate *registry = Registry::instance()->d.get();
    return registry->record(m_id, method, arguments, registry->change(m_id, change));
}

bool Transfer::setName(const QString &name)
{
    return apply("setName", { name }, [&](TransferInfo &t) {
        t.name = name;
        return true;
    });
}

bool Transfer::setTargetName(const QString &targetName)
{
    return apply("setTargetName", { targetName }, [&](TransferInfo &t) {
        t.targetName = targetName;
        return true;
    });
}

bool Transfer::setTransferTypeString(const QString &text)
{
    return apply("setTransferTypeString", { text }, [&](TransferInfo &t) {
        t.transferTypeString = text;
        return true;
    });
}

bool Transfer::setSize(quint64 bytes)
{
    return apply("setSize", { bytes }, [&](TransferInfo &t) {
        t.size = bytes;
        return true;
    });
}

bool Transfer::setEstimate(int seconds)
{
    return apply("setEstimate", { seconds }, [&](TransferInfo &t) {
        t.estimate = seconds;
        return seconds >= 0;
    });
}

bool Transfer::setCanPause(bool canPause)
{
    return apply("setCanPause", { canPause }, [&](TransferInfo &t) {
        t.canPause = canPause;
        return true;
    });
}

bool Transfer::setFilesCount(int count)
{
    return apply("setFilesCount", { count }, [&](TransferInfo &t) {
        t.filesCount = count;
        return count >= 1 && t.currentFileIndex <= count;
    });
}

bool Transfer::setCurrentFileIndex(int index)
{
    return apply("setCurrentFileIndex", { index }, [&](TransferInfo &t) {
        t.currentFileIndex = index;
        return index >= 1 && (t.filesCount == 0 || index <= t.filesCount);
    });
}

bool Transfer::setIcon(const QString &iconId)
{
    return apply("setIcon", { iconId }, [&](TransferInfo &t) {
        t.icon = iconId;
        return !iconId.isEmpty();
    });
}

bool Transfer::setThumbnailForFile(const QString &fileName, const QString &mimeType)
{
    return apply("setThumbnailForFile", { fileName, mimeType }, [&](TransferInfo &t) {
        t.thumbnailFile = fileName;
        t.thumbnailMimeType = mimeType;
        return !fileName.isEmpty();
    });
}

bool Transfer::setPending(const QString &reason)
{
    return apply("setPending", { reason }, [&](TransferInfo &t) {
        const bool ok = isRunning(t);
        t.state = TransferInfo::Pending;
        t.pendingReason = reason;
        return ok;
    });
}

bool Transfer::setActive(float done)
{
    return apply("setActive", { done }, [&](TransferInfo &t) {
        const bool ok = isRunning(t) && isFraction(done);
        t.state = TransferInfo::Active;
        t.progress = done;
        return ok;
    });
}

bool Transfer::updateStatus(float done, int secondsLeft)
{
    return apply("updateStatus", { done, secondsLeft }, [&](TransferInfo &t) {
        const bool ok = isRunning(t) && isFraction(done) && secondsLeft >= 0;
        t.progress = done;
        t.secondsLeft = secondsLeft;
        return ok;
    });
}

bool Transfer::markCompleted(bool openable, const QString &message, const QString &resultUri)
{
    return apply("markCompleted", { openable, message, resultUri }, [&](TransferInfo &t) {
        const bool ok = isRunning(t);
        t.state = TransferInfo::Completed;
        t.progress = 1.0f;
        t.secondsLeft = 0;
        t.openable = openable;
        t.resultMessage = message;
        t.resultUri = resultUri;
        return ok;
    });
}

bool Transfer::markDone(const QString &message)
{
    return apply("markDone", { message }, [&](TransferInfo &t) {
        const bool ok = !t.isFinished();
        t.state = TransferInfo::Done;
        if (!message.isEmpty())
            t.resultMessage = message;
        return ok;
    });
}

bool Transfer::markFailure(const QString &title, const QString &message)
{
    return apply("markFailure", { title, message }, [&](TransferInfo &t) {
        const bool ok = isRunning(t);
        t.state = TransferInfo::Failed;
        t.failureTitle = title;
        t.failureMessage = message;
        return ok;
    });
}

bool Transfer::markCancelled()
{
    return apply("markCancelled", {}, [&](TransferInfo &t) {
        const bool ok = isRunning(t);
        t.state = TransferInfo::Cancelled;
        return ok;
    });
}

} // namespace TransferUI
