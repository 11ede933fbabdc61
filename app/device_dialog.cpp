#include "device_dialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "rs_lib32.h"
#include "settings.h"

namespace APP {

namespace {
std::function<QList<SerialPortRow>()>& PortSource() {
    static std::function<QList<SerialPortRow>()> source;
    return source;
}
}  // namespace

QList<SerialPortRow> SerialPorts() {
    if (PortSource()) return PortSource()();
    QList<SerialPortRow> rows;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        rows.append({info.systemLocation(), info.description(), info.manufacturer(), info.serialNumber()});
    return rows;
}

void SetSerialPortSource(std::function<QList<SerialPortRow>()> source) { PortSource() = std::move(source); }

QString StableDeviceName(const QString& device, const QString& byIdFolder) {
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty()) return {};
    const QFileInfoList links =
        QDir(byIdFolder).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& link : links)
        if (link.isSymLink() && link.canonicalFilePath() == target) return link.absoluteFilePath();
    return {};
}

}  // namespace APP

namespace {
constexpr int kPathRole = Qt::UserRole;

// Entering the list by Tab picks no row: the view would make its first row
// current, and that would overwrite the path typed in the field. The first
// arrow key or click chooses one.
class PortList : public QTreeWidget {
public:
    using QTreeWidget::QTreeWidget;

protected:
    void focusInEvent(QFocusEvent* event) override {
        const bool none = !currentIndex().isValid();
        const QSignalBlocker quiet(this);
        QTreeWidget::focusInEvent(event);
        if (none && currentIndex().isValid())
            selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    }
};
}  // namespace

DeviceDialog::DeviceDialog(int port, QWidget* parent, const QString& byIdFolder)
    : QDialog(parent), port_(port) {
    const QString com = port == 0 ? QStringLiteral("COM1") : QStringLiteral("COM2");
    setWindowTitle(com + QStringLiteral(" Device"));

    auto* layout = new QVBoxLayout(this);
    auto* listLabel = new QLabel(QStringLiteral("&Serial ports of this computer:"), this);
    layout->addWidget(listLabel);

    ports = new PortList(this);
    ports->setRootIsDecorated(false);
    ports->setHeaderLabels({QStringLiteral("Device"), QStringLiteral("Description"), QStringLiteral("Manufacturer"),
                            QStringLiteral("Serial number"), QStringLiteral("Stable name")});
    listLabel->setBuddy(ports);
    const QString stored = SETTING::StoredDevicePath(port);
    QTreeWidgetItem* current = nullptr;
    for (const APP::SerialPortRow& port : APP::SerialPorts()) {
        const QString device = port.device;
        const QString stable = APP::StableDeviceName(device, byIdFolder);
        auto* item = new QTreeWidgetItem(
            ports, {device, port.description, port.manufacturer, port.serialNumber, stable});
        // The stable name survives replugging and a second adapter.
        item->setData(0, kPathRole, stable.isEmpty() ? device : stable);
        if (!stored.isEmpty() && (stored == device || stored == stable)) current = item;
    }
    ports->sortItems(0, Qt::AscendingOrder);
    ports->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(ports);

    auto* pathLabel = new QLabel(QStringLiteral("&Device file (or any other path):"), this);
    layout->addWidget(pathLabel);
    path = new QLineEdit(stored, this);
    path->setPlaceholderText(port == 0 ? QStringLiteral("/dev/ttyS0") : QStringLiteral("/dev/ttyS1"));
    pathLabel->setBuddy(path);
    layout->addWidget(path);

    envNote = new QLabel(this);
    envNote->setWordWrap(true);
    envNote->setTextFormat(Qt::PlainText);
    const char* variable = RS_LIB32::DeviceVariable(port);
    const QByteArray env = qgetenv(variable);
    if (!env.isEmpty())
        envNote->setText(QStringLiteral("The environment variable %1 is set to \"%2\": as long as it is set, "
                                        "%3 opens that device, not the one chosen here.")
                             .arg(QLatin1String(variable), QString::fromLocal8Bit(env), com));
    envNote->setVisible(!env.isEmpty());
    layout->addWidget(envNote);

    buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &DeviceDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &DeviceDialog::reject);

    // Picking a row (mouse or arrow keys) fills the field; a double-click or
    // Return on a row also confirms it.
    if (current) {
        const QSignalBlocker quiet(ports);
        ports->setCurrentItem(current);
    }
    connect(ports, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) { takeRow(item); });
    connect(ports, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) { takeRow(item); });
    connect(ports, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        takeRow(item);
        accept();
    });

    resize(qMax(sizeHint().width(), 560), sizeHint().height());
    path->setFocus();
}

void DeviceDialog::takeRow(QTreeWidgetItem* item) {
    if (item) path->setText(item->data(0, kPathRole).toString());
}

void DeviceDialog::accept() {
    SETTING::SaveDevicePath(port_, path->text().trimmed());
    QDialog::accept();
}
