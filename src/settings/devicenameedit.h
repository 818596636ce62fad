#ifndef OVRIN_DEVICENAMEEDIT_H
#define OVRIN_DEVICENAMEEDIT_H

#include "orveltextedit.h"

namespace Ovrin {

// The entry in which a Bluetooth name is typed, on both settings pages that
// rename something. A name travels over the air in at most 248 bytes of
// UTF-8, so the entry takes no typing past that.
class DeviceNameEdit : public OrvelTextEdit
{
    Q_OBJECT
public:
    static const int MaxNameBytes = 248;

    DeviceNameEdit(const QString &name, QGraphicsItem *parent);

    // Whether the name may be written; when not, a banner tells the user why.
    bool checkForSaving() const;
};

} // namespace Ovrin

#endif // OVRIN_DEVICENAMEEDIT_H
