#pragma once

#include "support/Environment.h"

#include <QDir>
#include <QTemporaryDir>

// A private Icecast server on loopback fed by an ffmpeg MP3 tone, run through
// scripts/test-stream. It stops when the object goes away.
class IcecastServer
{
public:
    // burstBytes: audio a new listener gets at once; song titles reach it this much later.
    // 0: the script's default (about 4 s of audio).
    explicit IcecastServer(int burstBytes = 0)
        : m_burstBytes(burstBytes)
    { }
    ~IcecastServer();

    static QString missingTools(); // as a sentence, or empty
    QString start(); // empty on success, otherwise what went wrong

    int port() const { return m_port; }
    QString rootUrl() const { return QStringLiteral("http://127.0.0.1:%1/").arg(m_port); } // the same stream
    QString streamUrl() const { return rootUrl() + QStringLiteral("stream"); }

    // The source goes away: listeners see the stream end and new ones get 404.
    QString stopSource() { return run(QStringLiteral("source-stop")); }
    QString startSource() { return run(QStringLiteral("source-start")); }
    // Sets the song title the server sends as ICY metadata.
    QString setTitle(const QString &title) { return run(QStringLiteral("title"), {title}); }

private:
    QString run(const QString &command, const QStringList &arguments = {}, QByteArray *output = nullptr);

    int m_burstBytes;
    QTemporaryDir m_dir {QDir::tempPath() + QStringLiteral("/norvale-icecast-XXXXXX")};
    int m_port = 0;
};
