#pragma once

#include "skins/SkinReader.h"

#include <QString>
#include <QStringList>

enum class SkinLoadOutcome {
    Loaded, // apply the pictures, stop Timer2
    Retry, // show the messages, keep Timer2 running
    GaveUp, // show the messages, stop Timer2, draw the window in its plain style
};

struct MainSkinResult
{
    SkinLoadOutcome outcome = SkinLoadOutcome::Loaded;
    // Head, frame and slider; their pictures are kept only when Loaded.
    SkinLook look;
    QStringList messages; // lang.ini keys to show in this order, critical icon, titled
};

// The main window's skin load with its fall-back, free of widgets so that its sequence
// can be tested without a display. The first failure only warns; a second failure,
// while the skinfout mark is set, switches INST.INI to "Standaard". When the skin that
// failed is already "Standaard" there is nothing left to fall back to: the load gives
// up instead of retrying every 500 ms for the rest of the run. A later skin choice
// (Timer2 enabled again) tries afresh; the mark is never cleared.
class SkinLoader final
{
public:
    explicit SkinLoader(QString programFolder);

    // One Timer2 tick.
    MainSkinResult loadMain();

    // The hidden label's caption: "2" after a failed load, else its design caption.
    QString skinfout() const { return m_failed ? QStringLiteral("2") : QStringLiteral("skinfout"); }
    bool failedBefore() const { return m_failed; }

private:
    QString m_programFolder;
    bool m_failed = false;
};
