#include "engine/EngineVisualisation.h"

#include <limits>
#include <mpv/client.h>

QString EngineVisualisation::filter()
{
    static constexpr int centres[kBands] = {60, 150, 400, 1000, 2400, 5000, 9000, 14000};
    QString graph = QStringLiteral("asplit=2[o][m];[m]pan=mono|c0=0.5*c0+0.5*c1,asplit=%1").arg(kBands);
    for (int i = 0; i < kBands; ++i)
        graph += QStringLiteral("[s%1]").arg(i);
    for (int i = 0; i < kBands; ++i)
        graph += QStringLiteral(";[s%1]bandpass=f=%2:width_type=o:w=1[b%1]").arg(i).arg(centres[i]);
    graph += QStringLiteral(";[o]");
    for (int i = 0; i < kBands; ++i)
        graph += QStringLiteral("[b%1]").arg(i);
    graph += QStringLiteral("amerge=inputs=%1,astats=metadata=1:reset=1:measure_perchannel=RMS_level:"
                            "measure_overall=none,pan=stereo|c0=c0|c1=c1")
                 .arg(kBands + 1);
    return QStringLiteral("@vis:lavfi=[") + graph + QLatin1Char(']');
}

QList<float> EngineVisualisation::levels(const QVariantMap &metadata)
{
    if (metadata.isEmpty())
        return {};
    QList<float> levels;
    levels.reserve(kBands);
    // Channels 1 and 2 are the stereo pair; the bands follow from channel 3 on.
    for (int band = 0; band < kBands; ++band) {
        const QString key = QStringLiteral("lavfi.astats.%1.RMS_level").arg(band + 3);
        bool ok = false;
        const float level = metadata.value(key).toString().toFloat(&ok);
        levels.append(ok ? level : -std::numeric_limits<float>::infinity());
    }
    return levels;
}

void EngineVisualisation::set(mpv_handle *mpv, bool on)
{
    if (!mpv || on == m_on)
        return;
    m_on = on;
    const QByteArray filter = on ? EngineVisualisation::filter().toUtf8() : QByteArrayLiteral("@vis");
    const char *args[] = {"af", on ? "add" : "remove", filter.constData(), nullptr};
    mpv_command(mpv, args);
}
