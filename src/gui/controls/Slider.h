#pragma once

#include <QColor>
#include <QImage>
#include <QSize>
#include <QVariantMap>
#include <QWidget>
#include <optional>

// The slider's pixel arithmetic, free of widgets. All lengths are along the active
// orientation: track length T, thumb length t, free length L = T - t.
namespace SliderMath {

// Nearest 32-bit integer, ties to even (2.5 -> 2, 3.5 -> 4); none when out of range.
std::optional<int> roundHalfEven(double x);

// The value a thumb offset stands for. Vertical sliders have their maximum at the top.
// None when L is 0 or the range is empty: the caller keeps its previous value.
std::optional<int> valueFromThumb(int offset, int freeLength, int min, int max, bool vertical);

// The thumb offset of a value; none when the range is empty.
std::optional<int> thumbOffset(int value, int freeLength, int min, int max, bool vertical);

// The thumb offset that centres the thumb on pointer coordinate c, kept inside the track.
int centredOffset(double c, int trackLength, int thumbLength);

// True when c lies on the thumb (both edges included).
bool onThumb(double c, int offset, int thumbLength);

} // namespace SliderMath

// A value slider drawn from pictures: the track (PictureBack), the filled part before the
// thumb (PictureProgress) and three thumb pictures (Bar, BarDown, BarOver). Change is
// raised only by the user (mouse, keys, wheel); setting a property from code never
// raises it.
class Slider final : public QWidget
{
    Q_OBJECT
public:
    explicit Slider(QWidget *parent = nullptr);
    ~Slider() override;

    int min() const { return m_min; }
    void setMin(int newMin);
    int Max() const { return m_max; }
    void setMax(int newMax);
    int value() const { return m_value; }
    // Ignored (no clamping) when outside min..Max or while the user holds the thumb.
    void setValue(int newValue);
    int LargeChange() const { return m_largeChange; }
    // Ignored unless the step is below Max.
    void setLargeChange(int step);
    // 0: vertical, anything else: horizontal. Swaps the control's width and height.
    int Position() const { return m_position; }
    void setPosition(int position);
    bool isVertical() const { return m_position == 0; }

    QImage PictureBack() const { return m_back; }
    void setPictureBack(const QImage &image);
    QImage PictureProgress() const { return m_progress; }
    void setPictureProgress(const QImage &image);
    QImage Bar() const { return m_bar; }
    void setBar(const QImage &image);
    QImage BarDown() const { return m_barDown; }
    void setBarDown(const QImage &image);
    QImage BarOver() const { return m_barOver; }
    void setBarOver(const QImage &image);
    QImage MouseIcon() const { return m_mouseIcon; }
    void setMouseIcon(const QImage &image);
    // The track colour; the button face of the palette until one is set.
    QColor BackColor() const;
    void setBackColor(const QColor &color);

    // Empties every picture and the mouse cursor, without a redraw.
    void ResetPictures();

    // The property store: entries named as the form stores them ("PictureBack", "Min",
    // ...). Reading applies them in the stored order ("Position" last, through
    // setPosition); writing leaves out entries equal to their default.
    void ReadProperties(const QVariantMap &bag);
    QVariantMap WriteProperties() const;

    // Geometry as laid out: track size, thumb size and the thumb's leading edge.
    QSize trackSize() const { return m_track; }
    QSize thumbSize() const { return m_thumb; }
    int thumbOffset() const { return m_offset; }
    bool isThumbHeld() const { return m_thumbHeld; }

    QSize sizeHint() const override;

Q_SIGNALS:
    void Change(int value);
    // Button and Shift carry the codes of InputCodes.h.
    void MouseDown(int Button, int Shift, float X, float Y);
    void MouseUp(int Button, int Shift, float X, float Y);
    void MouseMove(int Button, int Shift, float X, float Y);
    // A stored property was set ("Max", "Bar", ...): what a form marks as changed.
    void PropertyChanged(const QString &name);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    enum DrawState { Normal = 0, Pressed = 1, Hover = 2 };

    int trackLength() const { return isVertical() ? m_track.height() : m_track.width(); }
    int thumbLength() const { return isVertical() ? m_thumb.height() : m_thumb.width(); }
    double along(const QPointF &p) const { return isVertical() ? p.y() : p.x(); }
    void valueFromThumb();
    void drawSlider(int state, bool recalc);
    void layoutPictures();
    // A move by keyboard or wheel: clamped into the range, raised as Change.
    void userStep(qint64 target);
    int pageStep() const;
    void applyCursor();

    int m_min = 0;
    int m_max = 0;
    int m_value = 0;
    qint16 m_largeChange = 0;
    int m_position = 0;
    int m_offset = 0;
    bool m_thumbHeld = false;
    bool m_mouseOver = false;
    bool m_focusByKey = false;
    int m_state = Normal;
    int m_wheelRest = 0; // wheel delta not yet turned into a step

    QSize m_track; // picBack
    QSize m_progressSize; // picBack1
    QSize m_thumb {9, 9}; // picBar, and the pressed and hover thumbs with it
    QImage m_back;
    QImage m_progress;
    QImage m_bar;
    QImage m_barDown;
    QImage m_barOver;
    QImage m_mouseIcon;
    QColor m_backColor; // invalid: the palette's button face
};
