#include "controls/Slider.h"

#include "controls/InputCodes.h"

#include <QCursor>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QWheelEvent>
#include <cmath>
#include <limits>

namespace SliderMath {

std::optional<int> roundHalfEven(double x)
{
    if (!std::isfinite(x))
        return std::nullopt;
    double whole = std::floor(x);
    const double fraction = x - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0))
        whole += 1.0;
    if (whole < std::numeric_limits<int>::min() || whole > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(whole);
}

std::optional<int> valueFromThumb(int offset, int freeLength, int min, int max, bool vertical)
{
    if (freeLength == 0 || min == max)
        return std::nullopt;
    // Divide, multiply, add, in that order: the rounding of the ties depends on it.
    const auto v = roundHalfEven(double(offset) / freeLength * (double(max) - min) + min);
    if (!v)
        return std::nullopt;
    if (!vertical)
        return v;
    // The top end is the maximum. Mirroring inside the range keeps every range in range;
    // for 0..Max it is Max - v and for -Max..Max it is -v.
    const qint64 mirrored = qint64(max) + min - *v;
    if (mirrored < std::numeric_limits<int>::min() || mirrored > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(mirrored);
}

std::optional<int> thumbOffset(int value, int freeLength, int min, int max, bool vertical)
{
    if (min == max)
        return std::nullopt;
    const double u = vertical ? double(max) + min - value : double(value);
    return roundHalfEven((u - min) / (double(max) - min) * freeLength);
}

int centredOffset(double c, int trackLength, int thumbLength)
{
    const double half = thumbLength / 2.0;
    double centre =
        roundHalfEven(c).value_or(c < 0 ? std::numeric_limits<int>::min() : std::numeric_limits<int>::max());
    if (centre > trackLength - half)
        centre = trackLength - half;
    if (half > centre)
        centre = half;
    // One rounding at the end: the clamped ends land exactly on 0 and on T - t, so the
    // thumb can reach both ends of the range and never passes the end of the track.
    return roundHalfEven(centre - half).value_or(0);
}

bool onThumb(double c, int offset, int thumbLength)
{
    return offset <= c && c <= double(offset) + thumbLength;
}

} // namespace SliderMath

namespace {

using InputCodes::buttonCode;
using InputCodes::shiftCode;

constexpr int kDefaultMax = 100;
constexpr int kBareThumb = 9; // the thumb's length and breadth without a Bar picture

} // namespace

Slider::Slider(QWidget *parent)
    : QWidget(parent)
{
    setMouseTracking(true); // hover and MouseMove without a button held
    setFocusPolicy(Qt::StrongFocus);
    m_track = size();
    m_progressSize = m_track;
    if (m_max == 0)
        m_max = kDefaultMax;
    drawSlider(Normal, true);
}

Slider::~Slider() = default;

void Slider::setMin(int newMin)
{
    if (newMin > m_value)
        m_value = newMin;
    m_min = newMin;
    drawSlider(Normal, true);
    Q_EMIT PropertyChanged(QStringLiteral("Min"));
}

void Slider::setMax(int newMax)
{
    if (m_value > newMax)
        m_value = newMax;
    m_max = newMax;
    drawSlider(Normal, true);
    Q_EMIT PropertyChanged(QStringLiteral("Max"));
}

void Slider::setValue(int newValue)
{
    if (newValue < m_min || newValue > m_max || m_thumbHeld)
        return;
    m_value = newValue;
    drawSlider(Normal, true);
    Q_EMIT PropertyChanged(QStringLiteral("Value"));
}

void Slider::setLargeChange(int step)
{
    if (step >= m_max || step < std::numeric_limits<qint16>::min() || step > std::numeric_limits<qint16>::max())
        return;
    m_largeChange = qint16(step);
    Q_EMIT PropertyChanged(QStringLiteral("LargeChange"));
}

void Slider::setPosition(int position)
{
    m_position = position;
    m_thumb = m_bar.isNull() ? QSize(kBareThumb, kBareThumb) : m_bar.size();
    // The stored box is turned a quarter: a tall box becomes a wide horizontal slider.
    resize(height(), width());
    layoutPictures();
    Q_EMIT PropertyChanged(QStringLiteral("Position"));
}

void Slider::setPictureBack(const QImage &image)
{
    m_back = image;
    if (!image.isNull())
        m_track = image.size();
    // Without a picture of its own the fill shows the track itself: no visible fill.
    if (m_progress.isNull()) {
        m_progress = image;
        m_progressSize = m_track;
    }
    drawSlider(Normal, true);
    Q_EMIT PropertyChanged(QStringLiteral("PictureBack"));
}

void Slider::setPictureProgress(const QImage &image)
{
    m_progress = image;
    if (!image.isNull())
        m_progressSize = image.size();
    drawSlider(Normal, true);
    Q_EMIT PropertyChanged(QStringLiteral("PictureProgress"));
}

void Slider::setBar(const QImage &image)
{
    m_bar = image;
    if (!image.isNull())
        m_thumb = image.size();
    // A thumb given one picture uses it for all three states until they get their own.
    if (m_barDown.isNull())
        m_barDown = image;
    if (m_barOver.isNull())
        m_barOver = image;
    drawSlider(Normal, true);
    Q_EMIT PropertyChanged(QStringLiteral("Bar"));
}

void Slider::setBarDown(const QImage &image)
{
    m_barDown = image;
    Q_EMIT PropertyChanged(QStringLiteral("BarDown"));
}

void Slider::setBarOver(const QImage &image)
{
    m_barOver = image;
    Q_EMIT PropertyChanged(QStringLiteral("BarOver"));
}

void Slider::setMouseIcon(const QImage &image)
{
    m_mouseIcon = image;
    applyCursor();
    Q_EMIT PropertyChanged(QStringLiteral("MouseIcon"));
}

QColor Slider::BackColor() const
{
    return m_backColor.isValid() ? m_backColor : palette().color(QPalette::Button);
}

void Slider::setBackColor(const QColor &color)
{
    m_backColor = color;
    update();
    Q_EMIT PropertyChanged(QStringLiteral("BackColor"));
}

void Slider::ResetPictures()
{
    m_back = m_progress = m_bar = m_barDown = m_barOver = m_mouseIcon = QImage();
    applyCursor();
}

void Slider::ReadProperties(const QVariantMap &bag)
{
    // Pictures go straight in, without the sharing the setters do; the sizes follow
    // from the orientation and the layout below.
    m_back = bag.value(QStringLiteral("PictureBack")).value<QImage>();
    m_mouseIcon = bag.value(QStringLiteral("MouseIcon")).value<QImage>();
    m_progress = bag.value(QStringLiteral("PictureProgress")).value<QImage>();
    m_barDown = bag.value(QStringLiteral("BarDown")).value<QImage>();
    m_barOver = bag.value(QStringLiteral("BarOver")).value<QImage>();
    m_bar = bag.value(QStringLiteral("Bar")).value<QImage>();
    m_backColor = bag.value(QStringLiteral("BackColor")).value<QColor>();
    m_min = bag.value(QStringLiteral("Min"), 0).toInt();
    m_max = bag.value(QStringLiteral("Max"), kDefaultMax).toInt();
    m_largeChange = qint16(bag.value(QStringLiteral("LargeChange"), 0).toInt());
    m_value = bag.value(QStringLiteral("Value"), 0).toInt();
    applyCursor();
    setPosition(bag.value(QStringLiteral("Position"), 0).toInt());
    drawSlider(Normal, true);
}

QVariantMap Slider::WriteProperties() const
{
    QVariantMap bag;
    const auto picture = [&bag](const char *name, const QImage &image) {
        if (!image.isNull())
            bag.insert(QLatin1String(name), image);
    };
    const auto number = [&bag](const char *name, int value, int defaultValue) {
        if (value != defaultValue)
            bag.insert(QLatin1String(name), value);
    };
    picture("PictureBack", m_back);
    picture("MouseIcon", m_mouseIcon);
    picture("PictureProgress", m_progress);
    picture("Bar", m_bar);
    picture("BarOver", m_barOver);
    picture("BarDown", m_barDown);
    if (m_backColor.isValid())
        bag.insert(QStringLiteral("BackColor"), m_backColor);
    number("Min", m_min, 0);
    number("Max", m_max, kDefaultMax);
    number("LargeChange", m_largeChange, 0);
    number("Value", m_value, 0);
    number("Position", m_position, 0);
    return bag;
}

QSize Slider::sizeHint() const
{
    if (!m_back.isNull())
        return m_back.size();
    return isVertical() ? QSize(kBareThumb + 4, 100) : QSize(100, kBareThumb + 4);
}

void Slider::valueFromThumb()
{
    if (const auto v = SliderMath::valueFromThumb(m_offset, trackLength() - thumbLength(), m_min, m_max, isVertical()))
        m_value = *v;
}

void Slider::drawSlider(int state, bool recalc)
{
    if (recalc) {
        const int freeLength = trackLength() - thumbLength();
        if (const auto offset = SliderMath::thumbOffset(m_value, freeLength, m_min, m_max, isVertical()))
            m_offset = *offset;
    }
    m_state = state;
    update();
}

void Slider::layoutPictures()
{
    m_track = size();
    m_progressSize = m_track;
    if (isVertical())
        m_thumb.setWidth(width());
    else
        m_thumb.setHeight(height());
    drawSlider(Normal, true);
}

void Slider::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QColor back = BackColor();
    painter.fillRect(rect(), back);
    const QRect track(QPoint(0, 0), m_track);
    painter.setClipRect(track);
    painter.drawImage(0, 0, m_back);

    // The filled part: left of the thumb, or from the thumb's top down.
    const QRect progress(QPoint(0, 0), m_progressSize);
    const QRect fill = (isVertical() ? QRect(0, m_offset, m_progressSize.width(), m_progressSize.height())
                                     : QRect(0, 0, m_offset, m_progressSize.height()))
                           .intersected(progress)
                           .intersected(track);
    if (!fill.isEmpty()) {
        painter.setClipRect(fill);
        painter.fillRect(fill, back);
        painter.drawImage(0, 0, m_progress);
    }

    const QImage *thumb = nullptr;
    if (m_mouseOver)
        thumb = m_thumbHeld ? &m_barDown : &m_barOver;
    else if (m_state == Normal)
        thumb = &m_bar;
    else if (m_state == Pressed)
        thumb = &m_barDown;
    else if (m_state == Hover)
        thumb = &m_barOver;
    if (thumb) {
        const QRect box(isVertical() ? QPoint(0, m_offset) : QPoint(m_offset, 0), m_thumb);
        painter.setClipRect(box.intersected(track));
        if (thumb->isNull()) {
            // No picture yet: a plain raised box, so a bare slider can still be used.
            painter.fillRect(box, palette().color(QPalette::Button));
            painter.setPen(palette().color(QPalette::Dark));
            painter.drawRect(box.adjusted(0, 0, -1, -1));
        } else {
            painter.drawImage(box.topLeft(), *thumb);
        }
    }

    if (hasFocus() && m_focusByKey) {
        painter.setClipping(false);
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void Slider::resizeEvent(QResizeEvent *)
{
    layoutPictures();
}

void Slider::mousePressEvent(QMouseEvent *event)
{
    // Taken whatever the button, so that its release comes here too.
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    const double c = along(event->position());
    const int t = thumbLength();
    if (SliderMath::onThumb(c, m_offset, t)) {
        m_thumbHeld = true;
        drawSlider(Pressed, false);
    } else if (m_largeChange != 0) {
        // Through the value property: a step that would leave the range does nothing.
        const qint64 target = c > m_offset ? qint64(m_value) + m_largeChange : qint64(m_value) - m_largeChange;
        if (target >= std::numeric_limits<int>::min() && target <= std::numeric_limits<int>::max())
            setValue(int(target));
    } else {
        // The thumb jumps under the pointer; the value follows on release.
        m_offset = SliderMath::centredOffset(c, trackLength(), t);
    }
    Q_EMIT MouseDown(InputCodes::LeftButton, shiftCode(event->modifiers()), float(event->position().x()),
                     float(event->position().y()));
}

void Slider::mouseMoveEvent(QMouseEvent *event)
{
    if (m_thumbHeld) {
        m_offset = SliderMath::centredOffset(along(event->position()), trackLength(), thumbLength());
        valueFromThumb();
        drawSlider(Pressed, false);
        Q_EMIT Change(m_value);
    } else if (!m_mouseOver) {
        m_mouseOver = true;
        drawSlider(Hover, false);
    }
    Q_EMIT MouseMove(buttonCode(event->buttons()), shiftCode(event->modifiers()), float(event->position().x()),
                     float(event->position().y()));
}

void Slider::mouseReleaseEvent(QMouseEvent *event)
{
    if (!m_thumbHeld) {
        valueFromThumb();
        Q_EMIT Change(m_value);
    }
    m_thumbHeld = false;
    drawSlider(Normal, true);
    Q_EMIT MouseUp(buttonCode(event->button()), shiftCode(event->modifiers()), float(event->position().x()),
                   float(event->position().y()));
}

void Slider::leaveEvent(QEvent *)
{
    if (!m_mouseOver)
        return;
    m_mouseOver = false;
    drawSlider(Normal, false);
}

int Slider::pageStep() const
{
    if (m_largeChange > 0)
        return m_largeChange;
    return int(std::max<qint64>(1, (qint64(m_max) - m_min) / 10));
}

void Slider::userStep(qint64 target)
{
    if (m_min > m_max || m_thumbHeld)
        return;
    const int clamped = int(std::clamp<qint64>(target, m_min, m_max));
    if (clamped == m_value)
        return;
    m_value = clamped;
    drawSlider(Normal, true);
    Q_EMIT Change(m_value);
}

void Slider::keyPressEvent(QKeyEvent *event)
{
    // Up raises the value in both orientations: a vertical slider has its maximum on top.
    switch (event->key()) {
    case Qt::Key_Right:
    case Qt::Key_Up:
        userStep(qint64(m_value) + 1);
        break;
    case Qt::Key_Left:
    case Qt::Key_Down:
        userStep(qint64(m_value) - 1);
        break;
    case Qt::Key_PageUp:
        userStep(qint64(m_value) + pageStep());
        break;
    case Qt::Key_PageDown:
        userStep(qint64(m_value) - pageStep());
        break;
    case Qt::Key_Home:
        userStep(m_min);
        break;
    case Qt::Key_End:
        userStep(m_max);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void Slider::wheelEvent(QWheelEvent *event)
{
    constexpr int kNotch = 120; // one step of an ordinary wheel
    int delta = event->angleDelta().y() != 0 ? event->angleDelta().y() : event->angleDelta().x();
    if (event->inverted())
        delta = -delta;
    m_wheelRest += delta;
    const int notches = m_wheelRest / kNotch;
    m_wheelRest %= kNotch;
    if (notches != 0) {
        const qint64 perNotch = std::max<qint64>(1, (qint64(m_max) - m_min) / 20);
        userStep(qint64(m_value) + notches * perNotch);
    }
    event->accept();
}

void Slider::focusInEvent(QFocusEvent *event)
{
    m_focusByKey = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason
        || event->reason() == Qt::ShortcutFocusReason;
    update();
    QWidget::focusInEvent(event);
}

void Slider::focusOutEvent(QFocusEvent *event)
{
    update();
    QWidget::focusOutEvent(event);
}

void Slider::applyCursor()
{
    if (m_mouseIcon.isNull())
        unsetCursor();
    else
        setCursor(QCursor(QPixmap::fromImage(m_mouseIcon)));
}
