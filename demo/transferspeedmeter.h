#ifndef TRANSFERSPEEDMETER_H
#define TRANSFERSPEEDMETER_H

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>

// How fast each entry of the transfer UI moves, as the transfer UI itself
// would tell: the bytes its client reported done over the last few seconds.
// Follows the transfer UI from its start, so an entry has a speed even when
// the transfer page opens after the transfer began.
class TransferSpeedMeter : public QObject
{
    Q_OBJECT

public:
    explicit TransferSpeedMeter(QObject *parent = nullptr);

    // Bytes per second, or -1 while there is nothing to tell yet.
    qint64 bytesPerSecond(const QString &id) const;

private:
    struct Sample
    {
        qint64 at = 0; // ms
        quint64 bytes = 0;
    };

    struct Track
    {
        bool active = false;
        QList<Sample> samples;
    };

    void sample(const QString &id);

    // Long enough to smooth a client that reports often, short enough to
    // follow a change of pace.
    static const qint64 WindowMs = 3000;
    // Shorter spans give no speed worth showing.
    static const qint64 MinimumSpanMs = 500;
    // Reports closer than this are one report in several calls.
    static const qint64 SameReportMs = 100;

    QElapsedTimer m_clock;
    QHash<QString, Track> m_tracks;
};

#endif // TRANSFERSPEEDMETER_H
