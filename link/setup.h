#pragma once
// The instrument's setup (mode, sampling speed, comparator) and how a setup
// answer is read. The record itself lives in the link (RS_LIB32::Link).
#include <QStringList>
#include <QtGlobal>

namespace SETTING {

struct InstrumentSetupRecord {
    qint16 MeasMode = 0;    // 0 = resistance only, 1 = resistance and voltage
    qint16 SampSpeed = 0;   // 0 FAST, 1 MIDIUM, 2 other
    qint16 CompState = 0;   // 0 = comparator off
};

// Applies the three answer fields to `setup` (the parse step of the setup
// query). Throws OverflowError after MeasMode and SampSpeed are set.
void ApplySetupAnswer(const QStringList& fields, InstrumentSetupRecord& setup);
// Leading decimal number of a field (0 when it has none).
double LeadingNumber(const QString& field);

}  // namespace SETTING
