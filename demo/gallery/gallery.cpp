#include "gallery.h"

#include "orvelsnapshot.h"
#include "toolkittesting.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QGraphicsView>
#include <QGraphicsWidget>
#include <QTest>

#include <cstdio>

Gallery::Gallery(const QString &folder, SimulatorClient *simulator)
    : m_folder(folder)
    , m_sim(simulator)
{
}

bool Gallery::prepare()
{
    if (!QDir().mkpath(m_folder)) {
        std::fprintf(stderr, "ovrin-bt-gallery: cannot make %s\n", qPrintable(m_folder));
        return false;
    }
    return true;
}

int Gallery::finish() const
{
    std::printf("ovrin-bt-gallery: %d pictures in %s\n", m_pictures,
                qPrintable(QDir(m_folder).absolutePath()));
    for (const QString &missed : m_missed)
        std::fprintf(stderr, "ovrin-bt-gallery: missed: %s\n", qPrintable(missed));
    return m_missed.isEmpty() ? 0 : 1;
}

void Gallery::save(QGraphicsView *window, const QString &name)
{
    ToolkitTesting::settle();
    keep(OrvelSnapshot::render(window), name);
}

void Gallery::save(QGraphicsWidget *widget, const QString &name)
{
    ToolkitTesting::settle();
    keep(OrvelSnapshot::render(widget), name);
}

void Gallery::keep(const QImage &picture, const QString &name)
{
    if (!picture.isNull() && picture.save(QDir(m_folder).filePath(name + QStringLiteral(".png"))))
        ++m_pictures;
    else
        m_missed.append(name);
}

bool Gallery::waitFor(const std::function<bool()> &condition, const QString &what, int timeoutMs)
{
    if (QTest::qWaitFor(condition, timeoutMs))
        return true;
    m_missed.append(what);
    return false;
}
