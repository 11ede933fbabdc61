#include "grading_dialog.h"

#include "graded.h"

#include <QCheckBox>
#include <QColor>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "profile_file.h"
#include "settings.h"
#include "units.h"

using GRADING::Problem;
using GRADING::Profile;

namespace {

constexpr char kTitle[] = "Grading";
enum Column { ColName, ColColour, ColRLow, ColRHigh, ColVLow, ColVHigh, ColumnCount };
const char* const kColumnNames[ColumnCount] = {"Name", "Colour", "R low", "R high", "V low", "V high"};

QString sideText(const std::optional<double>& v) { return v ? GRADING::FormatValue(*v) : QString(); }

int columnOf(Problem::Field f) {
    switch (f) {
    case Problem::Field::Name: return ColName;
    case Problem::Field::Colour: return ColColour;
    case Problem::Field::ResistanceLow: return ColRLow;
    case Problem::Field::ResistanceHigh: return ColRHigh;
    case Problem::Field::VoltageLow: return ColVLow;
    case Problem::Field::VoltageHigh: return ColVHigh;
    case Problem::Field::None: break;
    }
    return ColName;
}

QString capitalised(QString s) {
    if (!s.isEmpty()) s[0] = s[0].toUpper();
    return s;
}

}  // namespace

GradingDialog::GradingDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromLatin1(kTitle));
    auto* layout = new QVBoxLayout(this);

    auto* top = new QFormLayout;
    name = new QLineEdit(this);
    auto* nameLabel = new QLabel(QStringLiteral("Profile &name:"), this);
    nameLabel->setBuddy(name);
    top->addRow(nameLabel, name);
    fileLabel = new QLabel(this);
    fileLabel->setTextFormat(Qt::PlainText);
    top->addRow(QStringLiteral("File:"), fileLabel);
    layout->addLayout(top);

    auto* binsLabel = new QLabel(
        QStringLiteral("&Bins, tried from the top (values in ohms and volts with m, k, u...; empty or * is open):"),
        this);
    binsLabel->setWordWrap(true);
    layout->addWidget(binsLabel);
    bins = new QTableWidget(0, ColumnCount, this);
    QStringList headers;
    for (const char* h : kColumnNames) headers << QString::fromLatin1(h);
    bins->setHorizontalHeaderLabels(headers);
    bins->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    bins->setSelectionMode(QAbstractItemView::SingleSelection);
    bins->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed |
                          QAbstractItemView::DoubleClicked);
    // Tab leaves the table for the next control; arrows move inside it.
    bins->setTabKeyNavigation(false);
    binsLabel->setBuddy(bins);
    auto* binRow = new QHBoxLayout;
    binRow->addWidget(bins, 1);
    auto* binButtons = new QVBoxLayout;
    addBin = new QPushButton(QStringLiteral("&Add bin"), this);
    removeBin = new QPushButton(QStringLiteral("Re&move bin"), this);
    moveUp = new QPushButton(QStringLiteral("Move &up"), this);
    moveDown = new QPushButton(QStringLiteral("Move &down"), this);
    for (QPushButton* b : {addBin, removeBin, moveUp, moveDown}) {
        b->setAutoDefault(false);
        binButtons->addWidget(b);
    }
    binButtons->addStretch();
    binRow->addLayout(binButtons);
    layout->addLayout(binRow);

    auto* limits = new QGroupBox(QStringLiteral("Acceptance limits for Cp and Cpk (empty or * is open)"), this);
    auto* grid = new QGridLayout(limits);
    auto field = [&](const QString& label, int row, int col) {
        auto* edit = new QLineEdit(limits);
        auto* l = new QLabel(label, limits);
        l->setBuddy(edit);
        grid->addWidget(l, row, col * 2);
        grid->addWidget(edit, row, col * 2 + 1);
        return edit;
    };
    rLow = field(QStringLiteral("Resistance, &low:"), 0, 0);
    rHigh = field(QStringLiteral("Resistance, &high:"), 0, 1);
    vLow = field(QStringLiteral("Voltage, l&ow:"), 1, 0);
    vHigh = field(QStringLiteral("Voltage, hi&gh:"), 1, 1);
    layout->addWidget(limits);

    enabled = new QCheckBox(QStringLiteral("Grade &readings"), this);
    sounds = new QCheckBox(QStringLiteral("&Sounds"), this);
    auto* switches = new QHBoxLayout;
    switches->addWidget(enabled);
    switches->addWidget(sounds);
    switches->addStretch();
    layout->addLayout(switches);

    auto* fileRow = new QHBoxLayout;
    newButton = new QPushButton(QStringLiteral("Ne&w"), this);
    openButton = new QPushButton(QStringLiteral("O&pen..."), this);
    saveButton = new QPushButton(QStringLiteral("Sa&ve"), this);
    saveAsButton = new QPushButton(QStringLiteral("Sav&e as..."), this);
    checkButton = new QPushButton(QStringLiteral("&Check"), this);
    for (QPushButton* b : {newButton, openButton, saveButton, saveAsButton, checkButton}) {
        b->setAutoDefault(false);
        fileRow->addWidget(b);
    }
    fileRow->addStretch();
    layout->addLayout(fileRow);

    buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &GradingDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &GradingDialog::reject);

    connect(addBin, &QPushButton::clicked, this, [this] { addRow(); });
    connect(removeBin, &QPushButton::clicked, this, [this] {
        const int row = bins->currentRow();
        if (row < 0) return;
        bins->removeRow(row);
        setModified(true);
        if (bins->rowCount() > 0) bins->setCurrentCell(std::min(row, bins->rowCount() - 1), bins->currentColumn());
    });
    connect(moveUp, &QPushButton::clicked, this, [this] { swapRows(bins->currentRow(), bins->currentRow() - 1); });
    connect(moveDown, &QPushButton::clicked, this, [this] { swapRows(bins->currentRow(), bins->currentRow() + 1); });
    connect(newButton, &QPushButton::clicked, this, [this] { newClicked(); });
    connect(openButton, &QPushButton::clicked, this, [this] { openClicked(); });
    connect(saveButton, &QPushButton::clicked, this, [this] { save(); });
    connect(saveAsButton, &QPushButton::clicked, this, [this] { saveAs(); });
    connect(checkButton, &QPushButton::clicked, this, [this] { checkClicked(); });
    connect(bins, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (filling_) return;
        if (item->column() == ColColour) paintColour(item->row());
        setModified(true);
    });
    for (QLineEdit* e : {name, rLow, rHigh, vLow, vHigh})
        connect(e, &QLineEdit::textEdited, this, [this] { setModified(true); });

    // The tab order follows the layout: name, table, bin buttons, limits,
    // switches, file buttons, OK/Cancel.
    QWidget* order[] = {name, bins, addBin, removeBin, moveUp, moveDown, rLow, rHigh, vLow, vHigh,
                        enabled, sounds, newButton, openButton, saveButton, saveAsButton, checkButton,
                        buttons->button(QDialogButtonBox::Ok), buttons->button(QDialogButtonBox::Cancel)};
    for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);

    enabled->setChecked(SETTING::LoadGradingEnabled());
    sounds->setChecked(SETTING::LoadGradingSounds());
    showProfile(Profile{}, QString());
    const QString active = SETTING::LoadGradingProfile();
    if (!active.isEmpty()) {
        const GRADING::ReadResult r = GRADING::ReadProfile(active);
        if (r.profile)
            showProfile(*r.profile, active);
        else
            // Shown once the dialog is up; the operator may fix it or choose another.
            QMetaObject::invokeMethod(this, [this, r, active] {
                warn(QStringLiteral("The active profile %1 cannot be used.\n%2").arg(active, r.error));
            }, Qt::QueuedConnection);
    }
    resize(qMax(sizeHint().width(), 640), qMax(sizeHint().height(), 480));
    name->setFocus();
}

void GradingDialog::setModified(bool on) {
    modified_ = on;
    fileLabel->setText((path_.isEmpty() ? QStringLiteral("(not saved yet)") : QDir::toNativeSeparators(path_)) +
                       (on ? QStringLiteral(" - changed") : QString()));
}

void GradingDialog::warn(const QString& text) {
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kTitle), text, QMessageBox::Ok, this);
    box.exec();
}

void GradingDialog::paintColour(int row) {
    QTableWidgetItem* item = bins->item(row, ColColour);
    if (!item) return;
    const QString text = item->text().trimmed();
    const QColor colour(text);
    const bool valid = text.size() == 7 && text.startsWith(QLatin1Char('#')) && colour.isValid();
    const bool wasFilling = filling_;
    filling_ = true;
    item->setData(Qt::DecorationRole, valid ? QVariant(colour) : QVariant());
    filling_ = wasFilling;
}

void GradingDialog::showProfile(const Profile& p, const QString& path) {
    filling_ = true;
    name->setText(p.name);
    bins->setRowCount(0);
    for (const GRADING::Bin& b : p.bins) {
        const int row = bins->rowCount();
        bins->insertRow(row);
        const QString cells[ColumnCount] = {b.name, b.colour, sideText(b.resistance.low), sideText(b.resistance.high),
                                            sideText(b.voltage.low), sideText(b.voltage.high)};
        for (int c = 0; c < ColumnCount; ++c) bins->setItem(row, c, new QTableWidgetItem(cells[c]));
        paintColour(row);
    }
    rLow->setText(sideText(p.resistanceLimits.low));
    rHigh->setText(sideText(p.resistanceLimits.high));
    vLow->setText(sideText(p.voltageLimits.low));
    vHigh->setText(sideText(p.voltageLimits.high));
    if (bins->rowCount() > 0) bins->setCurrentCell(0, 0);
    filling_ = false;
    path_ = path;
    setModified(false);
}

std::optional<Profile> GradingDialog::collect() {
    Profile p;
    p.name = name->text().trimmed();
    // Any text other than a number, empty or * is refused, naming where it is.
    auto side = [this](const QString& text, const QString& where, std::optional<double>& out, QWidget* focus,
                       int row, int col) {
        const QString t = text.trimmed();
        if (t.isEmpty() || t == QLatin1String("*")) return true;
        const auto v = GRADING::ParseValue(t);
        if (v) {
            out = v;
            return true;
        }
        warn(QStringLiteral("%1: \"%2\" is not a number.").arg(where, t));
        if (row >= 0) bins->setCurrentCell(row, col);
        focus->setFocus();
        return false;
    };
    const struct {
        QLineEdit* edit;
        const char* where;
        std::optional<double>* out;
    } limitFields[] = {{rLow, "Acceptance limits, resistance low", &p.resistanceLimits.low},
                       {rHigh, "Acceptance limits, resistance high", &p.resistanceLimits.high},
                       {vLow, "Acceptance limits, voltage low", &p.voltageLimits.low},
                       {vHigh, "Acceptance limits, voltage high", &p.voltageLimits.high}};
    for (const auto& f : limitFields)
        if (!side(f.edit->text(), QString::fromLatin1(f.where), *f.out, f.edit, -1, 0)) return std::nullopt;
    for (int row = 0; row < bins->rowCount(); ++row) {
        auto text = [&](int c) { return bins->item(row, c) ? bins->item(row, c)->text() : QString(); };
        GRADING::Bin b;
        b.name = text(ColName).trimmed();
        b.colour = text(ColColour).trimmed();
        p.bins.append(b);
        std::optional<double>* sides[] = {&p.bins.last().resistance.low, &p.bins.last().resistance.high,
                                          &p.bins.last().voltage.low, &p.bins.last().voltage.high};
        for (int c = ColRLow; c <= ColVHigh; ++c) {
            const QString where = capitalised(GRADING::BinLabel(p, row)) + QStringLiteral(", ") +
                                  QString::fromLatin1(kColumnNames[c]);
            if (!side(text(c), where, *sides[c - ColRLow], bins, row, c)) return std::nullopt;
        }
    }
    const QList<Problem> problems = GRADING::Validate(p);
    if (problems.isEmpty()) return p;
    QStringList lines;
    for (const Problem& pr : problems) lines << capitalised(pr.text) + QLatin1Char('.');
    warn(QStringLiteral("The profile cannot be used:\n") + lines.join(QLatin1Char('\n')));
    const Problem& first = problems.first();
    if (first.where == Problem::Where::Bin) {
        bins->setCurrentCell(first.bin, columnOf(first.field));
        bins->setFocus();
    } else if (first.where == Problem::Where::Limits) {
        (first.field == Problem::Field::VoltageHigh ? vHigh : rHigh)->setFocus();
    } else if (first.field == Problem::Field::Name) {
        name->setFocus();
    } else {
        addBin->setFocus();
    }
    return std::nullopt;
}

void GradingDialog::checkClicked() {
    if (collect()) {
        QMessageBox box(QMessageBox::Information, QString::fromLatin1(kTitle),
                        QStringLiteral("The profile has no problems."), QMessageBox::Ok, this);
        box.exec();
    }
}

bool GradingDialog::save() {
    if (path_.isEmpty()) return saveAs();
    const auto p = collect();
    if (!p) return false;
    const QString error = GRADING::WriteProfile(*p, path_);
    if (!error.isEmpty()) {
        warn(error);
        return false;
    }
    setModified(false);
    return true;
}

bool GradingDialog::saveAs() {
    const auto p = collect();
    if (!p) return false;
    QString folder = path_.isEmpty() ? SETTING::GradingProfilesFolder() : QFileInfo(path_).absolutePath();
    QDir().mkpath(folder);
    QFileDialog dialog(this, QStringLiteral("Save Grading Profile"), folder);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // A name typed without an extension still becomes a profile file.
    dialog.setDefaultSuffix(QString::fromLatin1(GRADING::kProfileSuffix));
    dialog.setNameFilters({QStringLiteral("Grading profiles (*.grading)"), QStringLiteral("All files (*)")});
    if (!p->name.isEmpty() && path_.isEmpty()) dialog.selectFile(p->name + QStringLiteral(".grading"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().value(0).isEmpty()) return false;
    const QString chosen = dialog.selectedFiles().first();
    const QString error = GRADING::WriteProfile(*p, chosen);
    if (!error.isEmpty()) {
        warn(error);
        return false;
    }
    path_ = chosen;
    setModified(false);
    return true;
}

bool GradingDialog::mayDiscard() {
    if (!modified_) return true;
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(kTitle),
                    QStringLiteral("The shown profile has changes that are not saved. Discard them?"),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void GradingDialog::newClicked() {
    if (!mayDiscard()) return;
    showProfile(Profile{}, QString());
    name->setFocus();
}

bool GradingDialog::openFile(const QString& file) {
    const GRADING::ReadResult r = GRADING::ReadProfile(file);
    if (!r.profile) {
        warn(QStringLiteral("%1 cannot be used.\n%2").arg(QDir::toNativeSeparators(file), r.error));
        return false;
    }
    showProfile(*r.profile, file);
    return true;
}

void GradingDialog::openClicked() {
    if (!mayDiscard()) return;
    const QString folder = path_.isEmpty() ? SETTING::GradingProfilesFolder() : QFileInfo(path_).absolutePath();
    QFileDialog dialog(this, QStringLiteral("Open Grading Profile"), QFileInfo(folder).isDir() ? folder : QDir::homePath());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({QStringLiteral("Grading profiles (*.grading)"), QStringLiteral("All files (*)")});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().value(0).isEmpty()) return;
    openFile(dialog.selectedFiles().first());
}

void GradingDialog::addRow() {
    const int row = bins->rowCount();
    filling_ = true;
    bins->insertRow(row);
    for (int c = 0; c < ColumnCount; ++c) bins->setItem(row, c, new QTableWidgetItem);
    filling_ = false;
    setModified(true);
    bins->setFocus();
    bins->setCurrentCell(row, ColName);
    bins->editItem(bins->item(row, ColName));
}

void GradingDialog::swapRows(int a, int b) {
    if (a < 0 || b < 0 || a >= bins->rowCount() || b >= bins->rowCount()) return;
    const int column = bins->currentColumn();
    filling_ = true;
    for (int c = 0; c < ColumnCount; ++c) {
        QTableWidgetItem* ia = bins->takeItem(a, c);
        QTableWidgetItem* ib = bins->takeItem(b, c);
        bins->setItem(a, c, ib);
        bins->setItem(b, c, ia);
    }
    filling_ = false;
    bins->setCurrentCell(b, column);
    setModified(true);
}

void GradingDialog::accept() {
    // Grading on needs a usable profile; a changed one is kept in its file.
    if (modified_ || enabled->isChecked()) {
        if (!collect()) return;
        if (modified_ && !save()) return;
    }
    SETTING::SaveGradingEnabled(enabled->isChecked());
    SETTING::SaveGradingSounds(sounds->isChecked());
    if (!path_.isEmpty()) SETTING::SaveGradingProfile(path_);
    QDialog::accept();
}

namespace APP {

GRADING::ActiveProfile LoadActiveProfileWithWarning(QWidget*) { return GRADED::LoadActiveWithWarning(); }

}  // namespace APP
