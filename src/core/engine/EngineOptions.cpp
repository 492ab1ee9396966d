#include "engine/EngineOptions.h"

#include "engine/EngineLog.h"

#include <mpv/client.h>

namespace EngineOptions {

QList<std::pair<QString, QString>> parse(const QString &options)
{
    QList<std::pair<QString, QString>> result;
    QString piece;
    const auto take = [&] {
        const QString entry = piece.trimmed();
        piece.clear();
        if (entry.isEmpty())
            return;
        const qsizetype eq = entry.indexOf(u'=');
        if (eq < 0)
            result.append({entry, QStringLiteral("yes")});
        else if (eq > 0)
            result.append({entry.left(eq).trimmed(), entry.mid(eq + 1).trimmed()});
    };
    for (qsizetype i = 0; i < options.size(); ++i) {
        const QChar c = options.at(i);
        if (c == u'\\' && i + 1 < options.size()) {
            piece.append(options.at(++i));
        } else if (c == u',') {
            take();
        } else {
            piece.append(c);
        }
    }
    take();
    return result;
}

QStringList apply(mpv_handle *mpv, const QString &options)
{
    // No user config, scripts or terminal: the engine must behave the same on every
    // machine, and only the options text may change it.
    static constexpr std::pair<const char *, const char *> defaults[] = {
        {"config", "no"},
        {"load-scripts", "no"},
        {"ytdl", "no"},
        {"terminal", "no"},
        {"input-default-bindings", "no"},
        {"idle", "yes"},
        {"vid", "no"},
        {"audio-display", "no"},
        {"audio-fallback-to-null", "yes"},
        {"audio-client-name", "norvale"},
        {"user-agent", "Norvale/3.0"},
        {"network-timeout", "15"},
        // Radio never seeks back; a few seconds ahead ride out a slow network.
        {"cache", "yes"},
        {"cache-secs", "10"},
        {"demuxer-max-bytes", "4MiB"},
        {"demuxer-max-back-bytes", "256KiB"},
        {"cache-pause-wait", "2"},
        {"volume", "50"},
    };
    for (const auto &[key, value] : defaults) {
        if (mpv_set_option_string(mpv, key, value) < 0)
            qCInfo(lcMpv) << "engine lacks option" << key;
    }
    QStringList rejected;
    for (const auto &[key, value] : parse(options)) {
        if (key.endsWith(QLatin1String("load-unsafe-playlists"))) {
            rejected.append(key + u'=' + value);
            continue;
        }
        const int rc = mpv_set_option_string(mpv, key.toUtf8().constData(), value.toUtf8().constData());
        if (rc < 0) {
            rejected.append(key + u'=' + value);
            qCWarning(lcMpv) << "option refused:" << key << value << mpv_error_string(rc);
        }
    }
    return rejected;
}

} // namespace EngineOptions
