#include "skins/SkinLoader.h"

#include "app/IniFile.h"

#include <utility>

bool isUsableSkinName(const QString &name)
{
    return !name.isEmpty() && !name.startsWith(QLatin1Char('.')) && !name.contains(QLatin1Char('/'))
        && !name.contains(QLatin1Char('\\')) && !name.contains(QChar(0));
}

namespace {

// Reads into target; on the first failure records it and reports false, so the
// remaining pictures are not touched, as the load stops at its first error.
template<typename Result>
bool readInto(QImage &target, const QString &path, Result &result)
{
    PictureResult picture = readPicture(path);
    if (!picture.ok()) {
        result.error = picture.error;
        result.failedPath = picture.path;
        return false;
    }
    target = std::move(picture.image);
    return true;
}

} // namespace

SkinLoader::SkinLoader(QString programFolder)
    : m_programFolder(std::move(programFolder))
{ }

MainSkinResult SkinLoader::loadMain()
{
    MainSkinResult result;
    result.skinName = currentSkinName(m_programFolder);
    const QString prefix = skinPrefix(m_programFolder, result.skinName);
    bool loaded = isUsableSkinName(result.skinName);
    if (!loaded) {
        result.error = PictureError::Missing;
        result.failedPath = prefix;
    }
    loaded = loaded && readInto(result.pictures.head, skinPicturePath(prefix, SkinPicture::Head), result)
        && readInto(result.pictures.frame, skinPicturePath(prefix, SkinPicture::Frame), result);
    constexpr SliderPicture order[] = {SliderPicture::Bar, SliderPicture::BarDown, SliderPicture::BarOver,
                                       SliderPicture::PictureBack, SliderPicture::PictureProgress};
    for (std::size_t i = 0; loaded && i < std::size(order); ++i)
        loaded = readInto(result.pictures.slider[i], sliderPicturePath(m_programFolder, order[i]), result);
    if (loaded) {
        result.outcome = SkinLoadOutcome::Loaded;
        return result;
    }

    result.pictures = {};
    result.messages << QStringLiteral("error16");
    result.outcome = SkinLoadOutcome::Retry;
    if (m_failed) {
        if (result.skinName.compare(QLatin1String(kFallbackSkin), Qt::CaseInsensitive) == 0) {
            result.outcome = SkinLoadOutcome::GaveUp;
        } else {
            result.messages << QStringLiteral("error19");
            WriteINI(programFilePath(m_programFolder, QStringLiteral("INST.INI")), QStringLiteral("Online Radio"),
                     QStringLiteral("skin"), QLatin1String(kFallbackSkin));
        }
    }
    m_failed = true;
    return result;
}

DialogSkinPictures loadDialogPictures(const QString &programFolder, bool withBar)
{
    DialogSkinPictures result;
    const QString name = currentSkinName(programFolder);
    const QString prefix = skinPrefix(programFolder, name);
    if (!isUsableSkinName(name)) {
        result.error = PictureError::Missing;
        result.failedPath = prefix;
        return result;
    }
    if (readInto(result.frame, skinPicturePath(prefix, SkinPicture::Frame), result) && withBar)
        readInto(result.bar, skinPicturePath(prefix, SkinPicture::Bar), result);
    if (!result.ok()) {
        result.frame = {};
        result.bar = {};
    }
    return result;
}

QColor averageColour(const QImage &picture)
{
    if (picture.isNull())
        return Qt::black;
    // A small copy is enough for an average and bounds the work for large pictures.
    const QImage sample =
        picture.scaled(32, 32, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_RGB32);
    qint64 red = 0, green = 0, blue = 0;
    for (int y = 0; y < sample.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(sample.constScanLine(y));
        for (int x = 0; x < sample.width(); ++x) {
            red += qRed(line[x]);
            green += qGreen(line[x]);
            blue += qBlue(line[x]);
        }
    }
    const qint64 count = qint64(sample.width()) * sample.height();
    return QColor(int(red / count), int(green / count), int(blue / count));
}

bool isDarkPicture(const QImage &picture)
{
    return !picture.isNull() && qGray(averageColour(picture).rgb()) < 110;
}
