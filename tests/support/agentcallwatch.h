#ifndef AGENTCALLWATCH_H
#define AGENTCALLWATCH_H

#include "simulatorclient.h"

#include <QHash>
#include <QSet>

namespace OvrinTest {

// Holds every test function to the rule that each call a daemon makes into an
// agent is answered: a call still waiting when the function (and its cleanup)
// is over, or one that ended without an answer (the daemon gave up waiting,
// or the agent left the bus), fails the function that left it, unless the
// function said it does so on purpose. A second answer to one call cannot be
// seen here: the bus delivers only the first reply and drops the rest.
class AgentCallWatch
{
public:
    explicit AgentCallWatch(SimulatorClient *simulator);
    ~AgentCallWatch();

    // For a test of what a daemon does when an agent never answers: that
    // many calls of this test function end without an answer, on purpose.
    static void expectUnanswered(int calls = 1);
    // For a test whose agent answers late on purpose: whether the daemon has
    // given up by then depends on the machine's speed, so up to that many
    // calls may end without an answer.
    static void allowUnanswered(int calls = 1);

    // Before the test's own cleanup, which may clear the simulator's logs.
    void beforeCleanup();
    // After the test function and its cleanup.
    void afterTestFunction();

private:
    bool isWatching() const;
    void collectUnansweredTimeouts();
    void verifyNothingPending();
    // Pending calls not yet blamed on a test function, described by key.
    QHash<QString, QString> unreportedPendingCalls() const;

    static AgentCallWatch *s_current;
    SimulatorClient *m_simulator;
    int m_expectedUnanswered = 0;
    int m_allowedUnanswered = 0;
    int m_answersSeen = 0;
    QStringList m_timedOut;
    // Calls already blamed on an earlier function.
    QSet<QString> m_reported;
};

} // namespace OvrinTest

#endif // AGENTCALLWATCH_H
