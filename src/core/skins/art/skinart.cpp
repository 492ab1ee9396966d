// Draws the pictures of the shipped skins. Run at build time; the pictures are not kept
// in the repository, so a change of look is a change of this file.
//
//   norvale_skinart <skins folder>

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kWindowWidth = 676;
constexpr int kWindowHeight = 564;
constexpr int kHeadHeight = 92; // a strip across the window, above the two panels
constexpr int kBarWidth = 600;
constexpr int kBarHeight = 44;

struct Palette
{
    QColor headTop, headMiddle, headBottom;
    QColor waveA, waveB;
    QColor logoRing, logoFill, logoMark;
    QColor title, subtitle;
    QColor edgeLight, edgeDark;
    QColor frameTop, frameBottom, frameGlow;
    QColor barTop, barBottom, barAccent;
};

QFont font(int pixelSize, int weight, qreal spacing = 0)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(pixelSize);
    f.setWeight(QFont::Weight(weight));
    if (spacing != 0)
        f.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

void drawWaves(QPainter &p, const Palette &c, qreal lift)
{
    // Three layers of slow waves running across the lower half, like a signal trace.
    struct Wave
    {
        qreal base, amplitude, length, phase, width;
        QColor colour;
    };
    const Wave waves[] = {
        {78, 16, 210, 0.0, 2.0, c.waveA},
        {88, 20, 300, 1.3, 1.5, c.waveB},
        {98, 12, 160, 2.1, 1.2, c.waveA},
        {70, 9, 120, 0.7, 1.0, c.waveB},
    };
    for (const Wave &w : waves) {
        QPainterPath path;
        for (int x = 340; x <= kWindowWidth; x += 2) {
            // The waves fade in from the wordmark towards the right edge.
            const qreal fade = std::min(1.0, (x - 340) / 160.0);
            const qreal y = w.base - lift + fade * w.amplitude * std::sin(x * 2 * M_PI / w.length + w.phase);
            if (x == 340)
                path.moveTo(x, y);
            else
                path.lineTo(x, y);
        }
        QLinearGradient g(340, 0, kWindowWidth, 0);
        QColor clear = w.colour;
        clear.setAlpha(0);
        g.setColorAt(0, clear);
        g.setColorAt(0.35, w.colour);
        g.setColorAt(1, w.colour);
        p.setPen(QPen(QBrush(g), w.width, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
    }
}

void drawLogo(QPainter &p, const Palette &c, QPointF centre)
{
    const qreal r = 38;
    QRadialGradient fill(centre - QPointF(10, 12), r * 1.4);
    fill.setColorAt(0, c.logoFill.lighter(125));
    fill.setColorAt(1, c.logoFill);
    p.setPen(QPen(c.logoRing, 3));
    p.setBrush(fill);
    p.drawEllipse(centre, r, r);

    // A mast sending out its signal: a dot, two arcs each side, a stand below.
    p.setPen(QPen(c.logoMark, 3.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    const QPointF tip = centre + QPointF(0, -6);
    for (int i = 1; i <= 2; ++i) {
        const qreal a = 9.0 * i;
        const QRectF arc(tip.x() - a, tip.y() - a, 2 * a, 2 * a);
        p.drawArc(arc, 16 * -45, 16 * 90);
        p.drawArc(arc, 16 * 135, 16 * 90);
    }
    QPainterPath stand;
    stand.moveTo(tip + QPointF(-11, 30));
    stand.lineTo(tip + QPointF(0, 2));
    stand.lineTo(tip + QPointF(11, 30));
    stand.moveTo(tip + QPointF(-6, 19));
    stand.lineTo(tip + QPointF(6, 19));
    p.drawPath(stand);
    p.setPen(Qt::NoPen);
    p.setBrush(c.logoMark);
    p.drawEllipse(tip, 4.2, 4.2);
}

QImage head(const Palette &c)
{
    QImage image(kWindowWidth, kHeadHeight, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    QLinearGradient sky(0, 0, kWindowWidth, kHeadHeight);
    sky.setColorAt(0, c.headTop);
    sky.setColorAt(0.55, c.headMiddle);
    sky.setColorAt(1, c.headBottom);
    p.fillRect(image.rect(), sky);

    // Soft light from the upper right gives the strip some depth.
    QRadialGradient glow(QPointF(560, -40), 300);
    glow.setColorAt(0, QColor(255, 255, 255, 46));
    glow.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(image.rect(), glow);

    drawWaves(p, c, 44);
    p.save();
    p.translate(50, 46);
    p.scale(0.8, 0.8);
    drawLogo(p, c, {0, 0});
    p.restore();

    p.setPen(c.title);
    p.setFont(font(33, QFont::Bold, -0.5));
    p.drawText(QPointF(94, 52), QStringLiteral("Norvale"));
    p.setPen(c.subtitle);
    p.setFont(font(12, QFont::Normal, 2.2));
    p.drawText(QPointF(97, 74), QStringLiteral("INTERNET RADIO 3.0"));

    p.fillRect(0, kHeadHeight - 4, kWindowWidth, 2, c.edgeLight);
    p.fillRect(0, kHeadHeight - 2, kWindowWidth, 2, c.edgeDark);
    return image;
}

QImage frame(const Palette &c)
{
    QImage image(kWindowWidth, kWindowHeight, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, kWindowHeight);
    g.setColorAt(0, c.frameTop);
    g.setColorAt(1, c.frameBottom);
    p.fillRect(image.rect(), g);
    QRadialGradient glow(QPointF(kWindowWidth * 0.85, kWindowHeight * 0.15), kWindowWidth * 0.8);
    glow.setColorAt(0, c.frameGlow);
    QColor clear = c.frameGlow;
    clear.setAlpha(0);
    glow.setColorAt(1, clear);
    p.fillRect(image.rect(), glow);
    // A thin border keeps the window's edge visible on a background of the same colour.
    p.setPen(QPen(c.frameBottom.darker(118), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, kWindowWidth - 1, kWindowHeight - 1));
    return image;
}

QImage bar(const Palette &c)
{
    QImage image(kBarWidth, kBarHeight, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient g(0, 0, 0, kBarHeight);
    g.setColorAt(0, c.barTop);
    g.setColorAt(1, c.barBottom);
    p.fillRect(image.rect(), g);
    p.fillRect(0, 0, kBarWidth, 1, QColor(255, 255, 255, 70));
    p.fillRect(0, kBarHeight - 3, kBarWidth, 3, c.barAccent);
    return image;
}

bool save(const QImage &image, const QString &path, const char *format)
{
    // PNG takes the quality as its compression level the other way round: -1 is the default.
    if (image.save(path, format, qstrcmp(format, "JPEG") == 0 ? 92 : -1))
        return true;
    std::fprintf(stderr, "norvale_skinart: cannot write %s\n", qPrintable(path));
    return false;
}

// Each skin stores its pictures in another format on purpose: the loader must take the
// format from the content, never from the ".skn" name.
bool writeSkin(const QString &folder, const QString &name, const Palette &c, const char *frameFormat,
               const char *barFormat)
{
    const QString prefix = folder + QLatin1Char('/') + name + QLatin1Char('_');
    return save(head(c), prefix + QStringLiteral("head.skn"), "PNG")
        && save(frame(c), prefix + QStringLiteral("frame1.skn"), frameFormat)
        && save(bar(c), prefix + QStringLiteral("balk1.skn"), barFormat);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: norvale_skinart <skins folder>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "norvale_skinart: cannot create %s\n", argv[1]);
        return 1;
    }

    const Palette standaard {
        QColor(0x0b, 0x3d, 0x6e),   QColor(0x13, 0x6f, 0xae),      QColor(0x1d, 0xa6, 0xc8),
        QColor(255, 255, 255, 120), QColor(0x9b, 0xe8, 0xff, 110), QColor(255, 255, 255, 230),
        QColor(0xf4, 0xfa, 0xff),   QColor(0x0f, 0x5a, 0x96),      QColor(Qt::white),
        QColor(255, 255, 255, 205), QColor(0x86, 0xdc, 0xf2),      QColor(0x08, 0x2e, 0x52),
        QColor(0xf6, 0xf9, 0xfc),   QColor(0xdc, 0xe5, 0xef),      QColor(255, 255, 255, 150),
        QColor(0x17, 0x6c, 0xad),   QColor(0x0c, 0x4a, 0x80),      QColor(0x6f, 0xd3, 0xee),
    };
    const Palette nacht {
        QColor(0x0e, 0x10, 0x15),      QColor(0x1b, 0x1f, 0x28),      QColor(0x2a, 0x1f, 0x2c),
        QColor(0xff, 0x8a, 0x3d, 150), QColor(0x3d, 0xd6, 0xff, 120), QColor(0xff, 0x8a, 0x3d),
        QColor(0x22, 0x26, 0x30),      QColor(0xff, 0xb0, 0x70),      QColor(0xf2, 0xf2, 0xf2),
        QColor(0xff, 0x9a, 0x55),      QColor(0xff, 0x8a, 0x3d),      QColor(0x05, 0x06, 0x08),
        QColor(0x25, 0x29, 0x32),      QColor(0x15, 0x17, 0x1c),      QColor(0x3d, 0xd6, 0xff, 18),
        QColor(0x2c, 0x31, 0x3c),      QColor(0x1a, 0x1d, 0x24),      QColor(0xff, 0x8a, 0x3d),
    };
    const bool ok = writeSkin(folder, QStringLiteral("Standaard"), standaard, "JPEG", "PNG")
        && writeSkin(folder, QStringLiteral("Nacht"), nacht, "PNG", "BMP");
    return ok ? 0 : 1;
}
