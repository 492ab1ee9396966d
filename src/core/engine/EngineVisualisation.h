#pragma once

#include <QList>
#include <QString>
#include <QVariantMap>

struct mpv_handle;

// The measuring of the sound for the window's picture of it: an audio filter in the
// engine's chain, put in only while the picture is shown.
class EngineVisualisation final
{
public:
    static constexpr int kBands = 8;

    // The filter: split off a mono copy, band-pass it into kBands channels, merge them
    // behind the stereo pair and let astats publish their levels; the pan at the end
    // passes only the stereo pair on, so what is heard is untouched and switching the
    // filter does not interrupt the stream.
    static QString filter();
    // The levels in dB, lowest band first, from the metadata the filter publishes (the
    // engine's "af-metadata/vis"); empty when there is none yet.
    static QList<float> levels(const QVariantMap &metadata);

    // Puts the filter into the engine's chain or takes it out.
    void set(mpv_handle *mpv, bool on);
    bool isOn() const { return m_on; }

private:
    bool m_on = false;
};
