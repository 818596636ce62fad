#ifndef OVRIN_BLUETOOTHDEVICEMODEL_P_H
#define OVRIN_BLUETOOTHDEVICEMODEL_P_H

#include "bluetoothdevice.h"
#include "bluetoothdevicemodel.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>

namespace Ovrin {

class BluetoothAdapter;

class BluetoothDeviceModelPrivate : public QObject
{
    Q_OBJECT
public:
    // What a row was sorted by when it was inserted. Rows keep it, so the
    // order stays consistent while the signal strengths the device handles
    // read (a table shared by all of them) move under the rows.
    struct SortKey
    {
        bool blocked = false;
        bool paired = false;
        int rssi = 0;
        QString name;
    };

    // A row: the model's own device object and what the row shows, read
    // when the row is made and again when its device reports a change that
    // keeps it in place, so that the values change only with a notification.
    struct Row
    {
        BluetoothDevice *device = nullptr;
        SortKey key; // also the name, paired and blocked values
        QString address;
        QString lookup; // the address it is found by; empty when none
        quint32 classOfDevice = 0;
        bool trusted = false;
        bool connected = false;
        bool connectable = false;
    };

    BluetoothDeviceModelPrivate(BluetoothDeviceModel *model, BluetoothAdapter *adapter);
    ~BluetoothDeviceModelPrivate() override;
    // Loads the known devices and follows the adapter.
    void start();

    static int deviceSortCmp(const SortKey &a, const SortKey &b);
    static SortKey sortKey(const BluetoothDevice &device);
    // The address a device answers to, without asking BlueZ.
    static QString lookupAddress(const BluetoothDevice &device);

    bool filterDevice(const BluetoothDevice &device) const;
    // Whether a change to the device at row leaves its row where it is.
    bool staysInPlace(int row, const BluetoothDevice &device, bool foundInScan) const;
    bool hasDeviceChanged(const Row &row, const BluetoothDevice &device) const;
    void loadPairedDevices();
    // Gives hidden devices that now pass the filter their rows again.
    void readmitHidden();
    QModelIndex activeDeviceIndex() const;
    // The row's values in column order, as data() gives them.
    QVariantList rowValues(int row) const;
    bool isActive(const Row &row) const;
    void deletePairingDevice();

    int rowOf(const QString &lookup) const;
    int findRow(const BluetoothDevice &device, const QString &lookup) const;
    int findHidden(const BluetoothDevice &device) const;
    bool admits(const BluetoothDevice &device, bool foundInScan) const;
    // updateDevice() with the device's row (or -1) already known.
    void update(const BluetoothDevice &device, int row, bool foundInScan, bool onlyUpdate);
    void insertRow(const BluetoothDevice &device);
    static void readValues(Row *row);
    // Takes a row out; a BlueZ device that still exists stays followed.
    enum class Disposal { KeepFollowing, Discard };
    void takeRow(int row, Disposal disposal);
    BluetoothDevice *follow(const BluetoothDevice &device);
    void discard(BluetoothDevice *device);
    void clearAll();

    QMap<QString, QVariant> filter;
    BluetoothDeviceModel *q_ptr;
    // Not owned; reads as null once the caller has deleted it.
    QPointer<BluetoothAdapter> adapter;
    QStringList headers;
    // In display order. Pointers: an insertion moves few bytes.
    QList<Row *> devices;
    // The key each row is sorted by, by lookup address.
    QHash<QString, SortKey> sortKeys;
    QList<BluetoothDevice *> hiddenDevices;
    BluetoothDevice *pairingDevice = nullptr;
    QString pairingAddress;
    bool deletingPairingDevice = false;

    Q_DECLARE_PUBLIC(BluetoothDeviceModel)

public Q_SLOTS:
    void updateDevice(const Ovrin::BluetoothDevice &device, bool foundInScan = true,
                      bool onlyUpdate = false);
    void deviceDiscovered(const Ovrin::BluetoothDevice &device);
    void deviceCreated(const Ovrin::BluetoothDevice &device);
    void deviceRemoved(const Ovrin::BluetoothDevice &device);
    void removeDevice(const Ovrin::BluetoothDevice &device);
    void devicePropertyChanged(const QString &property);
    void adapterPropertyChanged(const QString &property);
    void adapterDisappeared();
    void adapterAppeared();
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHDEVICEMODEL_P_H
