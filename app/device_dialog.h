#pragma once
// Chooses the device file behind COM1 or COM2 without editing the settings
// file: the serial ports the system knows, or any other path.
#include <QDialog>
#include <QList>
#include <QString>
#include <functional>

class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

class DeviceDialog : public QDialog {
    Q_OBJECT
public:
    // port: 0 = COM1, 1 = COM2. byIdFolder holds the stable names of
    // USB adapters (symlinks to the devices).
    explicit DeviceDialog(int port, QWidget* parent = nullptr,
                          const QString& byIdFolder = QStringLiteral("/dev/serial/by-id"));

    // Stores the path of the field (empty: back to the built-in port).
    void accept() override;

    // Columns: 0 Device, 1 Description, 2 Manufacturer, 3 Serial number, 4 Stable name
    QTreeWidget* ports = nullptr;
    QLineEdit* path = nullptr;
    QLabel* envNote = nullptr;   // shown while the environment variable decides
    QDialogButtonBox* buttons = nullptr;

private:
    void takeRow(QTreeWidgetItem* item);
    int port_;
};

namespace APP {
// One row of the dialog's list.
struct SerialPortRow {
    QString device, description, manufacturer, serialNumber;
};
// The serial ports the system knows; a test may put a list of its own in
// their place (an empty function gives the system's back).
QList<SerialPortRow> SerialPorts();
void SetSerialPortSource(std::function<QList<SerialPortRow>()> source);

// The symlink in byIdFolder that leads to `device`; empty when there is none.
QString StableDeviceName(const QString& device, const QString& byIdFolder);
}  // namespace APP
