#pragma once
// What the in-process fault tests share: the frame against a simulator,
// boxes answered and recorded, a fresh folder per test function, and a
// loading window made ready to write a CSV file.
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "../logging/logging_fixture.h"
#include "frm_extio.h"
#include "frm_single.h"

namespace FAULT {

class InProcess {
protected:
    LT::Bench b;
    std::unique_ptr<LT::Modals> modals;
    std::unique_ptr<QTemporaryDir> tmp;

    // Call from the test's init() and cleanup() slots.
    void setUp() {
        modals.reset(new LT::Modals);
        tmp.reset(new QTemporaryDir);
    }
    void tearDown() {
        modals.reset();
        b.down();
    }

    QString path(const QString& name) const { return tmp->filePath(name); }
    int seen(const QByteArray& what) { return int(b.sim->received().count(what)); }
    // Raw bytes from the simulator, as if the instrument had sent them.
    void answer(const QByteArray& bytes) { QVERIFY(b.sim->control("send " + bytes.toHex())); }

    // The return-key (or trigger) window opened, text file chosen, name typed.
    LOGGING::LoadingForm* openLoading(bool trigger, const QString& file) {
        if (trigger)
            LOGGING::MnuMeasIo_Click();
        else
            LOGGING::MnuMeasSingle_Click();
        LOGGING::LoadingForm* w = trigger ? static_cast<LOGGING::LoadingForm*>(LOGGING::ExtIoWindow())
                                          : static_cast<LOGGING::LoadingForm*>(LOGGING::SingleWindow());
        if (!w) return nullptr;
        w->OpnMethod[0]->click();
        w->Txt_File->setText(file);
        return w;
    }
    Frm_Single* readySingle(const QString& file) {
        return openLoading(false, file) ? LOGGING::SingleWindow() : nullptr;
    }
};

}  // namespace FAULT
