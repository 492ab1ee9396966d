#pragma once

#include <QColor>
#include <QFlags>
#include <QImage>
#include <QPalette>
#include <QString>
#include <array>

// Everything a window takes from the current skin, read in one place: which skin,
// where its files lie, its pictures bounded and checked, and the colours the frame
// calls for. A skin is a set of files in the program folder's "skins" folder, all
// starting with the skin's name and "_"; the volume slider's pictures are fixed files
// in "data3.0" and belong to no skin. Free of widgets, so it is tested without a display.

constexpr auto kFallbackSkin = "Standaard";

// A skin name is one file-name part; one with a separator or a leading dot would reach
// outside the skins folder.
bool isUsableSkinName(const QString &name);

enum class PictureError {
    None,
    Missing,
    TooLarge, // file or picture beyond the bounds below
    NotAPicture, // no reader recognises the content, or decoding failed
};

struct PictureResult
{
    QImage image;
    PictureError error = PictureError::None;
    QString path;

    bool ok() const { return error == PictureError::None; }
};

// Skin files come from anywhere (a downloaded skin, an older installation): the file
// and the decoded picture are bounded before anything is decoded, and the format is
// taken from the content, since a ".skn" file may hold PNG, JPEG or BMP.
constexpr qint64 kMaxPictureFileBytes = 16 * 1024 * 1024;
constexpr int kMaxPictureSide = 4096;

PictureResult readPicture(const QString &path);

// The parts a window draws. Slider is the volume slider's five pictures.
enum class SkinPart { Head = 1, Frame = 2, Bar = 4, Slider = 8 };
Q_DECLARE_FLAGS(SkinParts, SkinPart)
Q_DECLARE_OPERATORS_FOR_FLAGS(SkinParts)

struct SkinLook
{
    QString name; // the skin INST.INI names
    QImage head;
    QImage frame;
    QImage bar;
    std::array<QImage, 5> slider; // Bar, BarDown, BarOver, PictureBack, PictureProgress
    // The first part that could not be read; the others asked for are still read.
    PictureError error = PictureError::None;
    QString failedPath;
    // Drawn against the frame as read, or the plain style without one.
    QPalette palette;
    QColor titleColour; // of the title written on the bar

    bool ok() const { return error == PictureError::None; }
};

// The current skin's parts; what cannot be read stays null. A window that needs every
// part checks ok(); one that can do without takes what was read. A name that is not
// usable reads nothing (Missing, at the skin's prefix).
SkinLook readSkin(const QString &programFolder, SkinParts parts);

// True when the picture's average brightness is low: windows drawn on it switch their
// text to a light colour so that labels stay readable on a dark skin.
bool isDarkPicture(const QImage &picture);
// The picture's average colour; black for a null picture.
QColor averageColour(const QImage &picture);

// The colours of a window drawn on a skin's frame. Text, links, buttons and the fields
// of lists and edits are chosen against the frame's own brightness, never taken from
// the desktop's theme, so a dark skin on a light desktop and a light skin on a dark one
// both stay readable. A null frame stands for a window in its plain style over plain.
QPalette skinPalette(const QImage &frame, const QColor &plain = QColor(0xee, 0xf2, 0xf6));
// The title written on a dialog's bar: light on a dark bar (or on no bar picture, where
// the bar is drawn in the highlight colour), dark on a light one.
QColor titleColour(const QImage &bar);
// True for the palette of a dark frame (its text is light).
bool isDarkSkinPalette(const QPalette &palette);
// A warning red ("Mute: ON", a running recording) that stands out on the palette's window.
QColor warningColour(const QPalette &palette);
