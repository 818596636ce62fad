#include "agentcallwatch.h"

#include <QJsonObject>
#include <QTest>

#include <utility>

namespace OvrinTest {

namespace {

// How long answers on their way may take to arrive before a call counts as left.
constexpr int settleMs = 3000;

QString describe(const QJsonObject &call)
{
    return QStringLiteral("%1 -> %2 %3.%4")
        .arg(call.value(QLatin1String("service")).toString(),
             call.value(QLatin1String("path")).toString(),
             call.value(QLatin1String("interface")).toString(),
             call.value(QLatin1String("member")).toString());
}

} // namespace

AgentCallWatch *AgentCallWatch::s_current = nullptr;

AgentCallWatch::AgentCallWatch(SimulatorClient *simulator)
    : m_simulator(simulator)
{
    s_current = this;
}

AgentCallWatch::~AgentCallWatch()
{
    s_current = nullptr;
}

void AgentCallWatch::expectUnanswered(int calls)
{
    if (s_current)
        s_current->m_expectedUnanswered += calls;
}

void AgentCallWatch::allowUnanswered(int calls)
{
    if (s_current)
        s_current->m_allowedUnanswered += calls;
}

bool AgentCallWatch::isWatching() const
{
    return m_simulator && m_simulator->isAvailable();
}

void AgentCallWatch::beforeCleanup()
{
    if (isWatching())
        collectUnansweredTimeouts();
}

void AgentCallWatch::afterTestFunction()
{
    if (!isWatching())
        return;
    collectUnansweredTimeouts();
    const QStringList timedOut = std::exchange(m_timedOut, {});
    const int expected = std::exchange(m_expectedUnanswered, 0);
    const int allowed = std::exchange(m_allowedUnanswered, 0);
    if (timedOut.size() < expected || timedOut.size() > expected + allowed) {
        QTest::qFail(
            qPrintable(QStringLiteral("%1 calls to agents ended without an answer, %2 expected: %3")
                           .arg(timedOut.size())
                           .arg(expected)
                           .arg(timedOut.join(QLatin1String(", ")))),
            __FILE__, __LINE__);
    }
    verifyNothingPending();
}

// Answers only grow between two clears of the log: the ones past the count
// already seen are new, unless the log was cleared meanwhile.
void AgentCallWatch::collectUnansweredTimeouts()
{
    const QJsonArray answers = m_simulator->agentAnswers();
    if (answers.size() < m_answersSeen)
        m_answersSeen = 0;
    for (int i = m_answersSeen; i < answers.size(); ++i) {
        const QJsonObject answer = answers.at(i).toObject();
        if (answer.value(QLatin1String("error")).toString()
            == QLatin1String("org.freedesktop.DBus.Error.NoReply"))
            m_timedOut.append(describe(answer));
    }
    m_answersSeen = answers.size();
}

QHash<QString, QString> AgentCallWatch::unreportedPendingCalls() const
{
    QHash<QString, QString> calls;
    for (const QJsonValue &value : m_simulator->pendingAgentCalls()) {
        const QJsonObject call = value.toObject();
        const QString key = call.value(QLatin1String("service")).toString() + u'#'
            + QString::number(call.value(QLatin1String("id")).toInteger());
        if (!m_reported.contains(key))
            calls.insert(key, describe(call));
    }
    return calls;
}

void AgentCallWatch::verifyNothingPending()
{
    // Answers already sent get the time to arrive.
    if (QTest::qWaitFor([this]() { return unreportedPendingCalls().isEmpty(); }, settleMs))
        return;
    const QHash<QString, QString> left = unreportedPendingCalls();
    for (auto it = left.constBegin(); it != left.constEnd(); ++it)
        m_reported.insert(it.key());
    const QStringList calls = left.values();
    QTest::qFail(qPrintable(QStringLiteral("a daemon's call to an agent was left unanswered: ")
                            + calls.join(QLatin1String(", "))),
                 __FILE__, __LINE__);
}

} // namespace OvrinTest
