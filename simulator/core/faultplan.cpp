#include "faultplan.h"

void FaultPlan::add(const QString &method, const Fault &fault)
{
    m_faults[method].append(fault);
}

std::optional<FaultPlan::Fault> FaultPlan::take(const QString &interface, const QString &member)
{
    for (const QString &key : { interface + QLatin1Char('.') + member, member }) {
        auto it = m_faults.find(key);
        if (it == m_faults.end())
            continue;
        Fault fault = it->takeFirst();
        if (it->isEmpty())
            m_faults.erase(it);
        return fault;
    }
    return std::nullopt;
}
