#pragma once

#include "skins/SkinFiles.h"

#include <QColor>
#include <QImage>
#include <QString>
#include <QStringList>
#include <array>

// A skin name is one file-name part; one with a separator or a leading dot would reach
// outside the skins folder.
bool isUsableSkinName(const QString &name);

// The main window's pictures: header, background frame and the slider's five, in the
// order Bar, BarDown, BarOver, PictureBack, PictureProgress.
struct MainSkinPictures
{
    QImage head;
    QImage frame;
    std::array<QImage, 5> slider;
};

enum class SkinLoadOutcome {
    Loaded, // apply the pictures, stop Timer2
    Retry, // show the messages, keep Timer2 running
    GaveUp, // show the messages, stop Timer2, draw the window in its plain style
};

struct MainSkinResult
{
    SkinLoadOutcome outcome = SkinLoadOutcome::Loaded;
    MainSkinPictures pictures; // complete only when Loaded
    QString skinName; // the skin that was tried
    QString failedPath; // the first file that could not be read
    PictureError error = PictureError::None;
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

// A dialog's pictures from the current skin: frame always, the title bar when asked
// for. Any picture that cannot be read makes the whole load fail (the caller shows
// "error12" and does not open the dialog).
struct DialogSkinPictures
{
    QImage frame;
    QImage bar; // null when not asked for
    PictureError error = PictureError::None;
    QString failedPath;

    bool ok() const { return error == PictureError::None; }
};

DialogSkinPictures loadDialogPictures(const QString &programFolder, bool withBar = true);

// True when the picture's average brightness is low: windows drawn on it switch their
// text to a light colour so that labels stay readable on a dark skin.
bool isDarkPicture(const QImage &picture);
// The picture's average colour; black for a null picture.
QColor averageColour(const QImage &picture);
