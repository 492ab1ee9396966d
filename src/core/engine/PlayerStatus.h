#pragma once

#include "app/PlayState.h"

#include <QString>

// Where the player is with its stream.
enum class PlayerPhase {
    Idle, // nothing loaded
    Opening, // a connection is on its way, no audio yet
    Waiting, // between reconnect attempts
    Running, // audio is playing or paused
};

// Status texts; callers with a language file pass their own.
struct PlayerTexts
{
    QString ready = QStringLiteral("Ready");
    QString stopped = QStringLiteral("Stopped");
    QString paused = QStringLiteral("Paused");
    QString connecting = QStringLiteral("Connecting…");
    QString reconnecting = QStringLiteral("Reconnecting…");
    QString buffering = QStringLiteral("Buffering…");
    QString bufferingPercent = QStringLiteral("Buffering %1%"); // %1: 0..100
    QString playing = QStringLiteral("Playing");
    QString playingTitle = QStringLiteral("Playing: %1"); // %1: the stream's title
    QString failed = QStringLiteral("Stream not available");
};

// What the player knows about its stream at one moment.
struct PlayerFacts
{
    PlayerPhase phase = PlayerPhase::Idle;
    bool hasUrl = false;
    bool failed = false; // the last stream stayed gone
    bool reconnecting = false; // the stream ended on its own and is being tried again
    bool paused = false;
    bool pausedForCache = false;
    int cachePercent = -1; // how far the refill is, 0..100; -1: unknown
    QString title;
};

// What the listener is told about it.
struct PlayerStatus
{
    PlayState state = PlayState::Ready;
    QString text;
    bool buffering = false; // the stream is on its way or refilling
};

PlayerStatus playerStatus(const PlayerFacts &facts, const PlayerTexts &texts);
