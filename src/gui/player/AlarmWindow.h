#pragma once

#include "player/Favourites.h"
#include "player/WakeAlarm.h"
#include "skins/SkinnedDialog.h"

class LanguageTexts;
class QCheckBox;
class QComboBox;
class QTimeEdit;

// Sets the wake-up alarm: on or off, the time, the days of the week and the station
// (the last station or a favourite). OK writes INST.INI and calls saved.
class AlarmWindow final : public SkinnedDialog
{
    Q_OBJECT
public:
    AlarmWindow(const LanguageTexts &texts, const AlarmSettings &settings, const QList<Favourite> &favourites,
                QWidget *parent = nullptr);

    AlarmSettings settings() const;

Q_SIGNALS:
    void saved(const AlarmSettings &settings);

private:
    QCheckBox *Check1 = nullptr; // on
    QTimeEdit *Time1 = nullptr;
    QList<QCheckBox *> m_days;
    QComboBox *Combo1 = nullptr; // station: data is the address, empty for the last station
};
