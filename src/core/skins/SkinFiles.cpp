#include "skins/SkinFiles.h"

#include "app/IniFile.h"

#include <QFileInfo>
#include <QImageReader>

QString currentSkinName(const QString &programFolder)
{
    return ReadINI(programFilePath(programFolder, QStringLiteral("INST.INI")), QStringLiteral("Online Radio"),
                   QStringLiteral("skin"));
}

QString skinPrefix(const QString &programFolder, const QString &skinName)
{
    return programFolder + QStringLiteral("/skins/") + skinName + QLatin1Char('_');
}

QString skinPicturePath(const QString &prefix, SkinPicture picture)
{
    switch (picture) {
    case SkinPicture::Head:
        return prefix + QStringLiteral("head.skn");
    case SkinPicture::Frame:
        return prefix + QStringLiteral("frame1.skn");
    case SkinPicture::Bar:
        return prefix + QStringLiteral("balk1.skn");
    }
    return {};
}

QString sliderPicturePath(const QString &programFolder, SliderPicture picture)
{
    const char *name = "";
    switch (picture) {
    case SliderPicture::Bar:
        name = "scroll.jpg";
        break;
    case SliderPicture::BarDown:
        name = "scroll2.jpg";
        break;
    case SliderPicture::BarOver:
        name = "scroll3.jpg";
        break;
    case SliderPicture::PictureBack:
        name = "bg.jpg";
        break;
    case SliderPicture::PictureProgress:
        name = "bg2.jpg";
        break;
    }
    return programFolder + QStringLiteral("/data3.0/") + QLatin1String(name);
}

PictureResult readPicture(const QString &path)
{
    PictureResult result;
    // Skin names and file names on disk may differ in case from what INST.INI holds.
    result.path = resolveIniPath(path);
    const QFileInfo info(result.path);
    if (!info.isFile()) {
        result.error = PictureError::Missing;
        return result;
    }
    if (info.size() > kMaxPictureFileBytes) {
        result.error = PictureError::TooLarge;
        return result;
    }
    QImageReader reader(result.path);
    reader.setDecideFormatFromContent(true);
    const QSize size = reader.size();
    if (!size.isValid()) {
        result.error = PictureError::NotAPicture;
        return result;
    }
    if (size.width() > kMaxPictureSide || size.height() > kMaxPictureSide) {
        result.error = PictureError::TooLarge;
        return result;
    }
    if (!reader.read(&result.image) || result.image.isNull()) {
        result.image = {};
        result.error = PictureError::NotAPicture;
    }
    return result;
}
