#ifndef PAIRINGWORLD_H
#define PAIRINGWORLD_H

// Pairing against the simulated BlueZ: devices as discovery reports them,
// the sheets on screen and their pieces, the agents' answers and the banners.

#include "bluetoothdevice.h"
#include "bluetoothpincodeedit.h"
#include "bluezworld.h"
#include "orvelapplicationwindow.h"
#include "orvelbutton.h"
#include "simpleinformationbanner.h"
#include "toolkittesting.h"

#include <QGraphicsScene>
#include <QJsonArray>

namespace OvrinTest {

inline QStringList bannerTexts()
{
    QStringList texts;
    for (const auto &entry : Ovrin::SimpleInformationBanner::history())
        texts << entry.text;
    return texts;
}

// A device as discovery reports it: not yet known to BlueZ.
inline Ovrin::BluetoothDevice foundDevice(const QString &address)
{
    const QJsonObject simulated = sim()->device(address);
    return Ovrin::BluetoothDevice(QVariantMap {
        { QStringLiteral("Address"), address },
        { QStringLiteral("Name"), simulated.value(QLatin1String("name")).toString() },
        { QStringLiteral("Class"), uint(simulated.value(QLatin1String("class")).toInteger()) },
        { QStringLiteral("LegacyPairing"),
          simulated.value(QLatin1String("legacyPairing")).toBool() },
    });
}

// The answers the agents gave to member, oldest first.
inline QList<QJsonObject> answersTo(const QString &member)
{
    QList<QJsonObject> answers;
    const QJsonArray all = sim()->agentAnswers();
    for (const QJsonValue &answer : all) {
        if (answer[QLatin1String("member")].toString() == member)
            answers.append(answer.toObject());
    }
    return answers;
}

// The error the only (or first) answer to member carried.
inline QString answerError(const QString &member)
{
    return answersTo(member).value(0).value(QLatin1String("error")).toString();
}

// A pairing that fails: BlueZ's creation and then the process say so.
inline void expectPairingFailure(const QString &reason = QString())
{
    expectWarning(QStringLiteral("^Device creation failed: "));
    expectWarning(QStringLiteral("^Pairing failed, reason=")
                  + (reason.isEmpty() ? QStringLiteral(".*") : QRegularExpression::escape(reason))
                  + u'$');
}

// The scene window of type Sheet that is shown on window, if any.
template<typename Sheet> Sheet *sheetOnScreen(OrvelApplicationWindow &window)
{
    const auto items = window.scene()->items();
    for (QGraphicsItem *item : items) {
        auto *sheet = qobject_cast<Sheet *>(item->toGraphicsObject());
        if (sheet && sheet->sceneWindowState() == OrvelSceneWindow::Appeared)
            return sheet;
    }
    return nullptr;
}

inline OrvelButton *trustSwitch(const QGraphicsItem *sheet)
{
    return ToolkitTesting::findItem<OrvelButton>(sheet, QStringLiteral("BluetoothTrustedButton"));
}

inline Ovrin::BluetoothPinCodeEdit *pinEdit(const QGraphicsItem *sheet)
{
    return ToolkitTesting::findItem<Ovrin::BluetoothPinCodeEdit>(
        sheet, QStringLiteral("BluetoothPinCodeEdit"));
}

} // namespace OvrinTest

#endif // PAIRINGWORLD_H
