#pragma once

#include "skins/SkinnedDialog.h"

class LanguageTexts;
class QLabel;
class QPushButton;
class QSpinBox;
class SleepTimer;

// Chooses how long the radio plays on (15, 30, 45, 60, 90 minutes or a number of one's
// own), shows the time left and cancels the count-down.
class SleepTimerWindow final : public SkinnedDialog
{
    Q_OBJECT
public:
    static constexpr int kPresets[] = {15, 30, 45, 60, 90};

    SleepTimerWindow(const LanguageTexts &texts, SleepTimer *timer, QWidget *parent = nullptr);

    // "Stops in 12:05", or the text for no timer.
    static QString leftText(const LanguageTexts &texts, int secondsLeft);

private:
    void showLeft(int secondsLeft);

    const LanguageTexts &m_texts;
    SleepTimer *m_timer;
    QLabel *Label2 = nullptr; // time left
    QSpinBox *Minutes = nullptr;
    QPushButton *CommandStop = nullptr;
};
