#include "shutdown.h"

#include <QMdiSubWindow>
#include <QString>
#include <QWidget>

#include "frame.h"
#include "links.h"
#include "process.h"
#include "rs_lib32.h"
#include "settings.h"
#include "sheet.h"
#include "trend_form.h"
#include "twips.h"

namespace SETTING {

namespace {
void SaveFormPos(const char* section, QWidget* form) {
    if (!form) return;
    SaveSetting(QString::fromLatin1(section), QString::fromLatin1(Key::Top), QString::number(TWIPS::Top(form)));
    SaveSetting(QString::fromLatin1(section), QString::fromLatin1(Key::Left), QString::number(TWIPS::Left(form)));
}
}  // namespace

void ShutdownApp() {
    RS_LIB32::ProgramLink().CommClose();

    QWidget* main = FRAME::MainWindow();
    if (main && !main->isMinimized())
        SaveMainGeometry(TWIPS::Top(main), TWIPS::Left(main), TWIPS::Width(main), TWIPS::Height(main));

    QWidget* disp = FRAME::DispForm();
    SaveDispPos(TWIPS::Top(disp), TWIPS::Left(disp));

    // Their own unload never runs after this, so their positions are kept here.
    APP::LoggingLinks& links = APP::Logging();
    if (GetFormTimeOpen()) SaveFormPos(Key::SecFormTime, links.timeForm());
    if (GetFormSingleOpen()) SaveFormPos(Key::SecFormSingle, links.singleForm());
    if (GetFormExtIoOpen()) SaveFormPos(Key::SecFormExtIo, links.extIoForm());
    APP::SaveTrendGeometry();

    // A row handed to the office is already shown as logged; it must be in
    // the sheet before the process ends (a hung office costs one call limit).
    SHEET::WaitForQueued();

    EndProcess(0);
}

}  // namespace SETTING
