#pragma once

#include "skins/SkinLoader.h"

#include <QDialog>
#include <QPalette>
#include <QStringList>
#include <functional>

class LanguageTexts;
class QLabel;
class SkinImage;

// The common shape of the skinned dialogs: Image1 is the background frame stretched
// over the whole window, Image2 the title bar across the top, and Label1 the title
// written on that bar. Subclasses place their controls below kTitleHeight. Without
// pictures (the plain style) the bar is drawn in the palette's highlight colour so
// that the title stays readable.
class SkinnedDialog : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kTitleHeight = 44;

    // Without titleBar the window has no bar picture and Label1 is an ordinary label
    // that the subclass places.
    explicit SkinnedDialog(QWidget *parent = nullptr, bool titleBar = true);

    void setSkinPictures(const DialogSkinPictures &pictures);
    QLabel *titleLabel() const { return Label1; }

protected:
    void resizeEvent(QResizeEvent *event) override;

    SkinImage *Image1 = nullptr;
    SkinImage *Image2 = nullptr;
    QLabel *Label1 = nullptr;

private:
    void stretchPictures();

    bool m_titleBar;
};

// Opening a skinned dialog: loads the current skin's frame (and bar) into it, then opens
// it window-modal without a nested event loop. When a picture cannot be read, "error12"
// is shown (critical, titled) over boxParent and the dialog is deleted unopened; the
// result says which happened. The dialog deletes itself when it closes.
bool openSkinnedDialog(SkinnedDialog *dialog, const QString &programFolder, const LanguageTexts &texts,
                       QWidget *boxParent, bool withBar = true);

// Shows the skin-load messages of a failed Timer2 tick one after the other (critical,
// titled), each once the one before is answered, then calls done. The main window
// stops Timer2 while they are open and starts it again in done, so the next attempt
// waits until the user has read them rather than piling up boxes every 500 ms.
void showSkinMessages(QWidget *parent, const LanguageTexts &texts, QStringList keys, std::function<void()> done);

// The colours of a window drawn on a skin's frame. Text, links, buttons and the fields
// of lists and edits are chosen against the frame's own brightness, never taken from
// the desktop's theme, so a dark skin on a light desktop and a light skin on a dark one
// both stay readable. A null frame stands for a window in its plain style over plain.
QPalette skinPalette(const QImage &frame, const QColor &plain = QColor(0xee, 0xf2, 0xf6));
// Gives window, and every widget in it that has no colours of its own, the palette of
// the frame it is drawn on.
void applySkinPalette(QWidget *window, const QImage &frame);
// The title written on a dialog's bar: light on a dark bar (or on no bar picture, where
// the bar is drawn in the highlight colour), dark on a light one.
void applyTitleColour(QLabel *title, const QImage &bar);
// True for the palette of a dark frame (its text is light).
bool isDarkSkinPalette(const QPalette &palette);
// A warning red ("Mute: ON", a running recording) that stands out on the palette's window.
QColor warningColour(const QPalette &palette);
