#pragma once
// The short sounds of a verdict: one for an accepted cell, a distinct one for
// a reject. Made on first use, so a program that never grades never touches
// the sound system; with no sound device they stay silent, without a word.
#include <QObject>

class QSoundEffect;

class VerdictSound : public QObject {
    Q_OBJECT
public:
    explicit VerdictSound(QObject* parent = nullptr);
    // Finds the device and loads both sounds, before the first reading needs them.
    void Prepare();
    void Play(bool accepted);
    // Whether a sound was asked to play (tests: the sounds themselves need no device).
    int Played() const { return played_; }

private:
    QSoundEffect* Effect(bool accepted);
    QSoundEffect* accept_ = nullptr;
    QSoundEffect* reject_ = nullptr;
    bool noDevice_ = false;
    int played_ = 0;
};
