#include "skins/SkinReader.h"

#include "app/IniFile.h"

#include <QFileInfo>
#include <QImageReader>

namespace {

// programFolder/skins/<name>_<file>
QString skinFile(const QString &programFolder, const QString &skinName, const char *file)
{
    return programFolder + QStringLiteral("/skins/") + skinName + QLatin1Char('_') + QLatin1String(file);
}

// The volume slider's pictures, in the order of SkinLook::slider.
constexpr const char *kSliderFiles[] = {"scroll.jpg", "scroll2.jpg", "scroll3.jpg", "bg.jpg", "bg2.jpg"};

// Reads into target; the first failure is the one the look reports.
void readInto(QImage &target, const QString &path, SkinLook &look)
{
    PictureResult picture = readPicture(path);
    if (picture.ok()) {
        target = std::move(picture.image);
    } else if (look.ok()) {
        look.error = picture.error;
        look.failedPath = picture.path;
    }
}

} // namespace

bool isUsableSkinName(const QString &name)
{
    return !name.isEmpty() && !name.startsWith(QLatin1Char('.')) && !name.contains(QLatin1Char('/'))
        && !name.contains(QLatin1Char('\\')) && !name.contains(QChar(0));
}

SkinLook readSkin(const QString &programFolder, SkinParts parts)
{
    SkinLook look;
    look.name = ReadINI(programFilePath(programFolder, QStringLiteral("INST.INI")), QStringLiteral("Online Radio"),
                        QStringLiteral("skin"));
    if (!isUsableSkinName(look.name)) {
        look.error = PictureError::Missing;
        look.failedPath = skinFile(programFolder, look.name, "");
    } else {
        if (parts & SkinPart::Head)
            readInto(look.head, skinFile(programFolder, look.name, "head.skn"), look);
        if (parts & SkinPart::Frame)
            readInto(look.frame, skinFile(programFolder, look.name, "frame1.skn"), look);
        if (parts & SkinPart::Bar)
            readInto(look.bar, skinFile(programFolder, look.name, "balk1.skn"), look);
        for (std::size_t i = 0; parts & SkinPart::Slider && i < std::size(kSliderFiles); ++i)
            readInto(look.slider[i], programFolder + QStringLiteral("/data3.0/") + QLatin1String(kSliderFiles[i]),
                     look);
    }
    look.palette = skinPalette(look.frame);
    look.titleColour = titleColour(look.bar);
    return look;
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

QPalette skinPalette(const QImage &frame, const QColor &plain)
{
    const bool dark = frame.isNull() ? plain.lightness() < 110 : isDarkPicture(frame);
    // The frame picture covers the window's own background. Styles draw the edges of
    // check boxes and fields a shade darker than Window, which on a dark frame would
    // vanish: there Window is a mid grey.
    const QColor window = dark ? QColor(0x6b, 0x75, 0x80) : frame.isNull() ? plain : averageColour(frame);
    const QColor text = dark ? QColor(0xee, 0xee, 0xee) : QColor(0x14, 0x14, 0x14);
    const QColor base = dark ? QColor(0x20, 0x24, 0x29) : QColor(Qt::white);
    const QColor button = dark ? QColor(0x3a, 0x40, 0x48) : QColor(0xe6, 0xe8, 0xeb);
    const QColor muted = dark ? QColor(0x8c, 0x92, 0x98) : QColor(0x7a, 0x7a, 0x7a);
    QPalette colours(button, window); // the bevel shades follow the button colour
    colours.setColor(QPalette::WindowText, text);
    colours.setColor(QPalette::Text, text);
    colours.setColor(QPalette::ButtonText, text);
    colours.setColor(QPalette::BrightText, dark ? QColor(Qt::white) : QColor(Qt::black));
    colours.setColor(QPalette::Base, base);
    colours.setColor(QPalette::AlternateBase, dark ? base.lighter(125) : QColor(0xf2, 0xf4, 0xf7));
    colours.setColor(QPalette::Link, dark ? QColor(0x8c, 0xc4, 0xff) : QColor(0x1d, 0x64, 0xa8));
    colours.setColor(QPalette::LinkVisited, dark ? QColor(0xc0, 0xa0, 0xff) : QColor(0x6a, 0x3d, 0x9a));
    colours.setColor(QPalette::Highlight, QColor(0x2b, 0x7b, 0xc0));
    colours.setColor(QPalette::HighlightedText, Qt::white);
    colours.setColor(QPalette::PlaceholderText, muted);
    colours.setColor(QPalette::ToolTipBase, QColor(0xff, 0xff, 0xdc));
    colours.setColor(QPalette::ToolTipText, Qt::black);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        colours.setColor(QPalette::Disabled, role, muted);
    return colours;
}

QColor titleColour(const QImage &bar)
{
    return bar.isNull() || isDarkPicture(bar) ? QColor(Qt::white) : QColor(0x14, 0x14, 0x14);
}

bool isDarkSkinPalette(const QPalette &palette)
{
    return palette.color(QPalette::WindowText).lightness() > 128;
}

QColor warningColour(const QPalette &palette)
{
    return isDarkSkinPalette(palette) ? QColor(0xff, 0x6b, 0x6b) : QColor(Qt::red);
}
