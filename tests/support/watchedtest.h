#ifndef WATCHEDTEST_H
#define WATCHEDTEST_H

#include "agentcallwatch.h"

#include <QMetaMethod>
#include <QTest>

namespace OvrinTest {

// A test object whose test functions are each followed by the agent call
// watch. QtTest has no hook after a test function, but it finds and calls
// every function through the object's meta-object: this one is the test
// class's own with the call entry point wrapped, so the names, order and
// data of the test functions stay exactly the class's.
template<typename TestClass> class WatchedTest : public TestClass
{
public:
    explicit WatchedTest(AgentCallWatch *watch)
    {
        s_watch = watch;
        s_meta = TestClass::staticMetaObject;
        s_meta.d.static_metacall = &watchedMetacall;
    }
    ~WatchedTest() override { s_watch = nullptr; }

    const QMetaObject *metaObject() const override { return &s_meta; }

private:
    static void watchedMetacall(QObject *object, QMetaObject::Call call, int id, void **args)
    {
        const QMetaObject &meta = TestClass::staticMetaObject;
        const bool watched = s_watch && call == QMetaObject::InvokeMetaMethod
            && endsTestFunction(meta.method(meta.methodOffset() + id));
        const bool isCleanup = watched && hasCleanup();
        if (isCleanup)
            s_watch->beforeCleanup();
        meta.d.static_metacall(object, call, id, args);
        if (watched)
            s_watch->afterTestFunction();
    }

    static bool hasCleanup() { return TestClass::staticMetaObject.indexOfMethod("cleanup()") >= 0; }

    // The test's cleanup when it has one, otherwise the test function itself.
    static bool endsTestFunction(const QMetaMethod &method)
    {
        if (hasCleanup())
            return method.methodSignature() == "cleanup()";
        const QByteArray name = method.name();
        return name == QTest::currentTestFunction() && name != "initTestCase"
            && name != "cleanupTestCase" && name != "init";
    }

    static inline QMetaObject s_meta;
    static inline AgentCallWatch *s_watch = nullptr;
};

} // namespace OvrinTest

#endif // WATCHEDTEST_H
