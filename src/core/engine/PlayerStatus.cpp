#include "engine/PlayerStatus.h"

PlayerStatus playerStatus(const PlayerFacts &facts, const PlayerTexts &texts)
{
    switch (facts.phase) {
    case PlayerPhase::Idle:
        return {facts.hasUrl ? PlayState::Stopped : PlayState::Ready,
                facts.failed       ? texts.failed
                    : facts.hasUrl ? texts.stopped
                                   : texts.ready,
                false};
    case PlayerPhase::Opening:
    case PlayerPhase::Waiting:
        return {PlayState::Transitioning, facts.reconnecting ? texts.reconnecting : texts.connecting, true};
    case PlayerPhase::Running:
        break;
    }
    if (facts.paused)
        return {PlayState::Paused, texts.paused, false};
    if (facts.pausedForCache) {
        // Whole tens: the text would otherwise change several times a second.
        return {PlayState::Buffering,
                facts.cachePercent >= 0 ? texts.bufferingPercent.arg(facts.cachePercent / 10 * 10) : texts.buffering,
                true};
    }
    return {PlayState::Playing, facts.title.isEmpty() ? texts.playing : texts.playingTitle.arg(facts.title), false};
}
