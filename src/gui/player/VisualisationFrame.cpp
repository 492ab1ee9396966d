#include "player/VisualisationFrame.h"

#include <QLinearGradient>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {

constexpr float kFloorDb = -60.0f; // quieter than this draws as an empty bar
constexpr float kPeakFallPerTick = 0.015f;

// 0..1 for a level in dB; not-a-number (silence, a band not measured yet) is 0.
float heightFor(float db)
{
    if (!std::isfinite(db))
        return 0.0f;
    return std::clamp((db - kFloorDb) / -kFloorDb, 0.0f, 1.0f);
}

} // namespace

VisualisationFrame::VisualisationFrame(LevelSource levels, QWidget *parent)
    : QWidget(parent)
    , m_source(std::move(levels))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_poll.setInterval(50);
    connect(&m_poll, &QTimer::timeout, this, &VisualisationFrame::poll);
}

void VisualisationFrame::showEvent(QShowEvent *event)
{
    m_poll.start();
    QWidget::showEvent(event);
}

void VisualisationFrame::hideEvent(QHideEvent *event)
{
    m_poll.stop();
    m_levels.clear();
    m_peaks.clear();
    QWidget::hideEvent(event);
}

void VisualisationFrame::poll()
{
    m_levels = m_source ? m_source() : QList<float>();
    if (m_peaks.size() != m_levels.size())
        m_peaks = QList<float>(m_levels.size(), 0.0f);
    for (qsizetype i = 0; i < m_levels.size(); ++i)
        m_peaks[i] = std::max(heightFor(m_levels[i]), m_peaks[i] - kPeakFallPerTick);
    update();
}

void VisualisationFrame::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QRectF area = rect();
    QLinearGradient back(area.topLeft(), area.bottomLeft());
    back.setColorAt(0, QColor(0x10, 0x1c, 0x2c));
    back.setColorAt(1, QColor(0x05, 0x0a, 0x12));
    p.fillRect(area, back);
    const qsizetype bands = m_levels.size();
    if (bands == 0)
        return;
    const qreal gap = 6;
    const qreal width = (area.width() - gap * qreal(bands + 1)) / qreal(bands);
    QLinearGradient bar(area.bottomLeft(), area.topLeft());
    bar.setColorAt(0, QColor(0x2e, 0x9c, 0xd8));
    bar.setColorAt(0.7, QColor(0x7a, 0xd3, 0x6a));
    bar.setColorAt(1, QColor(0xf0, 0xc0, 0x40));
    for (qsizetype i = 0; i < bands; ++i) {
        const qreal x = gap + qreal(i) * (width + gap);
        const qreal h = heightFor(m_levels[i]) * (area.height() - 12);
        p.fillRect(QRectF(x, area.bottom() - h, width, h), bar);
        const qreal peakY = area.bottom() - m_peaks[i] * (area.height() - 12) - 4;
        p.fillRect(QRectF(x, peakY, width, 3), QColor(0xe8, 0xee, 0xf4));
    }
}
