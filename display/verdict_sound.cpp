#include "verdict_sound.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

static void InitDisplayResources() { Q_INIT_RESOURCE(display); }

VerdictSound::VerdictSound(QObject* parent) : QObject(parent) { InitDisplayResources(); }

QSoundEffect* VerdictSound::Effect(bool accepted) {
    QSoundEffect*& effect = accepted ? accept_ : reject_;
    if (effect || noDevice_) return effect;
    // Without a device QSoundEffect complains on every play; ask once instead.
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        noDevice_ = true;
        return nullptr;
    }
    effect = new QSoundEffect(device, this);
    effect->setSource(QUrl(accepted ? QStringLiteral("qrc:/orven/sounds/accept.wav")
                                    : QStringLiteral("qrc:/orven/sounds/reject.wav")));
    return effect;
}

void VerdictSound::Prepare() {
    Effect(true);
    Effect(false);
}

void VerdictSound::Play(bool accepted) {
    ++played_;
    // play() only starts the sound and returns; the last verdict cuts off the one before.
    if (QSoundEffect* e = Effect(accepted)) e->play();
}
