#ifndef DEMOPAGE_H
#define DEMOPAGE_H

#include "simplesheet.h"

#include <functional>

// One page of a demo application: a sheet with a back button on the left and,
// for pages that edit something, a save button that closes the page only
// when saving worked. Pages are deleted once they have gone.
class DemoPage : public Ovrin::SimpleSheet
{
    Q_OBJECT

public:
    explicit DemoPage(const QString &title, QGraphicsWidget *content);

    // Gives the page a save button labelled label; save decides whether the
    // page may close.
    void setSaver(const QString &label, std::function<bool()> save);
    void open();

    void done(bool accepted) override;

private:
    std::function<bool()> m_save;
};

// Whether page is on screen (a closed page lives on until deleted).
inline bool isShown(const DemoPage *page)
{
    return page && page->sceneWindowState() == OrvelSceneWindow::Appeared;
}

#endif // DEMOPAGE_H
