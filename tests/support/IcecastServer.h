#pragma once

#include "support/Environment.h"

#include <QString>
#include <QTemporaryDir>
#include <QTest>

// A private Icecast server on loopback fed by an ffmpeg MP3 tone, run through
// scripts/test-stream. It stops when the object goes away.
//
//     IcecastServer server;
//     NORVALE_START_ICECAST(server); // skips (fails in CI) without icecast2/ffmpeg/curl
//     player.setUrl(server.streamUrl());
class IcecastServer
{
public:
    struct Options
    {
        // Audio a new listener gets at once; song titles reach it this much later. 0: the
        // script's default (about 4 s of audio).
        int burstBytes = 0;
    };

    IcecastServer();
    explicit IcecastServer(const Options &options);
    ~IcecastServer();
    IcecastServer(const IcecastServer &) = delete;
    IcecastServer &operator=(const IcecastServer &) = delete;

    // The programs the server needs that this machine lacks, as a sentence; empty when
    // everything is there.
    static QString missingTools();

    // Empty on success, otherwise what went wrong.
    QString start();
    void stop();
    bool isRunning() const { return m_port != 0; }

    int port() const { return m_port; }
    QString streamUrl() const; // http://127.0.0.1:PORT/stream
    QString rootUrl() const; // http://127.0.0.1:PORT/ (the same stream)

    // The source goes away: listeners see the stream end and new ones get 404.
    QString stopSource();
    QString startSource();
    // Sets the song title the server sends as ICY metadata.
    QString setTitle(const QString &title);

private:
    QString run(const QStringList &arguments, QByteArray *output = nullptr);

    Options m_options;
    QTemporaryDir m_dir;
    int m_port = 0;
};

// Starts the server, skipping the test when the tools are missing and failing it when
// they are present but the server does not come up.
#define NORVALE_START_ICECAST(server)                                                                                  \
    do {                                                                                                               \
        NORVALE_REQUIRE_ENVIRONMENT(IcecastServer::missingTools());                                                    \
        if (const QString why_ = (server).start(); !why_.isEmpty())                                                    \
            QFAIL(qPrintable(QStringLiteral("the test stream did not start: ") + why_));                               \
    } while (false)
