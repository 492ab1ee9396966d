#pragma once

#include <QList>
#include <QTimer>
#include <QWidget>
#include <functional>

// The picture of the sound shown over the web view while a station plays: one bar per
// frequency band, from levels the player measures. It asks for levels only while it is
// visible, about twenty times a second, so a hidden frame costs nothing.
class VisualisationFrame final : public QWidget
{
    Q_OBJECT
public:
    // Levels in dB (RMS), lowest band first; an empty list draws silence.
    using LevelSource = std::function<QList<float>()>;

    explicit VisualisationFrame(LevelSource levels, QWidget *parent = nullptr);

    const QList<float> &shownLevels() const { return m_levels; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void poll();

    LevelSource m_source;
    QTimer m_poll;
    QList<float> m_levels;
    QList<float> m_peaks; // slowly falling caps above the bars
};
