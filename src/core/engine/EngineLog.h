#pragma once

#include <QLoggingCategory>

// The playback engine's messages and the player's own about it, under one category.
Q_DECLARE_LOGGING_CATEGORY(lcMpv)
