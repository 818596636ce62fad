#ifndef FAULTPLAN_H
#define FAULTPLAN_H

#include <QHash>
#include <QList>
#include <QString>

#include <optional>

// Faults a test asked for, each applied to the next call of one method.
// A method is named either "Member" or "interface.Member".
class FaultPlan
{
public:
    // Ignore: neither handled nor answered; AnswerAndIgnore: answered with an
    // empty success, not handled (a daemon that forgets what it was asked).
    enum class Kind { Fail, NeverAnswer, Delay, Ignore, AnswerAndIgnore };
    struct Fault
    {
        Kind kind = Kind::Fail;
        QString errorName;
        QString errorText;
        int delayMs = 0;
    };

    void add(const QString &method, const Fault &fault);
    std::optional<Fault> take(const QString &interface, const QString &member);
    void clear() { m_faults.clear(); }

private:
    QHash<QString, QList<Fault>> m_faults;
};

#endif // FAULTPLAN_H
