#ifndef ALLSIGNALSSPY_H
#define ALLSIGNALSSPY_H

#include <QMetaMethod>
#include <QSignalSpy>

#include <memory>
#include <vector>

namespace OvrinTest {

// Spies on every signal that object's own class declares, to show that
// something had no effect at all.
class AllSignalsSpy
{
public:
    explicit AllSignalsSpy(const QObject *object)
    {
        const QMetaObject *meta = object->metaObject();
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            if (meta->method(i).methodType() == QMetaMethod::Signal)
                m_spies.push_back(std::make_unique<QSignalSpy>(object, meta->method(i)));
        }
    }

    // The signature of a signal that was emitted, or empty when none was.
    QByteArray emitted() const
    {
        for (const auto &spy : m_spies) {
            if (!spy->isEmpty())
                return spy->signal();
        }
        return QByteArray();
    }

private:
    std::vector<std::unique_ptr<QSignalSpy>> m_spies;
};

} // namespace OvrinTest

#endif // ALLSIGNALSSPY_H
