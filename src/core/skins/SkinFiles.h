#pragma once

#include <QImage>
#include <QString>

// Where a skin's pictures lie and how they are read. A skin is a set of files in the
// program folder's "skins" folder, all starting with the skin's name and "_"; the
// volume slider's pictures are fixed files in "data3.0" and belong to no skin.

constexpr auto kFallbackSkin = "Standaard";

enum class SkinPicture { Head, Frame, Bar };

// The skin named in INST.INI ("Online Radio"/"skin"); empty when it is missing.
QString currentSkinName(const QString &programFolder);
// programFolder/skins/<name>_ : a missing name gives a prefix ending in a lone "_".
QString skinPrefix(const QString &programFolder, const QString &skinName);
QString skinPicturePath(const QString &prefix, SkinPicture picture);

enum class SliderPicture { Bar, BarDown, BarOver, PictureBack, PictureProgress };
QString sliderPicturePath(const QString &programFolder, SliderPicture picture);

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
