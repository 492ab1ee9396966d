#pragma once

#include "support/Environment.h"

#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

// A private Icecast server on loopback fed by an ffmpeg MP3 tone, run through
// scripts/test-stream; start it with NORVALE_START_ICECAST. It stops when the object goes away.
class IcecastServer
{
public:
    // burstBytes: audio a new listener gets at once; song titles reach it this much
    // later. 0: the script's default (about 4 s of audio).
    explicit IcecastServer(int burstBytes = 0)
        : m_burstBytes(burstBytes)
    { }
    ~IcecastServer() { stop(); }
    IcecastServer(const IcecastServer &) = delete;
    IcecastServer &operator=(const IcecastServer &) = delete;

    // The programs the server needs that this machine lacks, as a sentence, or empty.
    static QString missingTools();

    // Empty on success, otherwise what went wrong.
    QString start();
    void stop();
    bool isRunning() const { return m_port != 0; }

    int port() const { return m_port; }
    QString rootUrl() const { return QStringLiteral("http://127.0.0.1:%1/").arg(m_port); } // the same stream
    QString streamUrl() const { return rootUrl() + QStringLiteral("stream"); }

    // The source goes away: listeners see the stream end and new ones get 404.
    QString stopSource() { return run({QStringLiteral("source-stop"), m_dir.path()}); }
    QString startSource() { return run({QStringLiteral("source-start"), m_dir.path()}); }
    // Sets the song title the server sends as ICY metadata.
    QString setTitle(const QString &title) { return run({QStringLiteral("title"), m_dir.path(), title}); }

private:
    QString run(const QStringList &arguments, QByteArray *output = nullptr);

    int m_burstBytes = 0;
    QTemporaryDir m_dir {QDir::tempPath() + QStringLiteral("/norvale-icecast-XXXXXX")};
    int m_port = 0;
};

// Skips the test when the tools are missing (fails it in CI) and fails it when the server does not come up.
#define NORVALE_START_ICECAST(server)                                                                                  \
    do {                                                                                                               \
        NORVALE_REQUIRE_ENVIRONMENT(IcecastServer::missingTools());                                                    \
        if (const QString why_ = (server).start(); !why_.isEmpty())                                                    \
            QFAIL(qPrintable(QStringLiteral("the test stream did not start: ") + why_));                               \
    } while (false)
