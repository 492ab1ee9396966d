#pragma once

// What a player is doing, for the play button, the tray, MPRIS and the recorder. The
// numbers are those the callers have always tested against; keep them.
enum class PlayState {
    Undefined = 0,
    Stopped = 1,
    Paused = 2,
    Playing = 3,
    Buffering = 6,
    Transitioning = 9,
    Ready = 10,
};
