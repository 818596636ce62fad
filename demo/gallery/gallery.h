#ifndef GALLERY_H
#define GALLERY_H

#include <QString>
#include <QStringList>

#include <functional>

namespace Ovrin {
class BluetoothAdapter;
}
class QGraphicsView;
class QImage;
class QGraphicsWidget;
class SimulatorClient;

// Writes the pictures into one folder and keeps count of what could not be
// pictured, so the program can tell it and exit non-zero.
class Gallery
{
public:
    Gallery(const QString &folder, SimulatorClient *simulator);

    bool prepare();
    // Pictures of the toolkit's widgets and the companion pieces.
    void toolkit();
    // Pictures of the library's sheets, dialogs and pages in the states the
    // demo's tour does not reach.
    void screens();
    int finish() const;

    void save(QGraphicsView *window, const QString &name);
    void save(QGraphicsWidget *widget, const QString &name);
    // Waits (serving events) until condition holds; a miss is noted under what.
    bool waitFor(const std::function<bool()> &condition, const QString &what,
                 int timeoutMs = 10000);

    SimulatorClient *sim() const { return m_sim; }

private:
    void keep(const QImage &picture, const QString &name);
    void pairingSheets();
    void dialogs();
    void selectionSheet(Ovrin::BluetoothAdapter *adapter);
    void settingsPages(Ovrin::BluetoothAdapter *adapter);
    void deviceListGroups(Ovrin::BluetoothAdapter *adapter);

    QString m_folder;
    SimulatorClient *m_sim;
    int m_pictures = 0;
    QStringList m_missed;
};

#endif // GALLERY_H
