#pragma once

#include <QString>

// Station addresses come from lists anyone on the path may have written. Only a network
// stream may reach the engine: an http or https address with a host. Everything else
// the engine would open as well (file://, av://, lavfi://, a bare local path) is refused.
bool isStreamAddress(const QString &url);
