#pragma once

#include <clocale>
#include <malloc.h>

// What the program's main sets for the whole process before it plays, for test programs
// that construct the real engine. Call it after the application object is built.
inline void prepareEngineProcess()
{
    // libmpv refuses to start under a locale whose decimal point is not ".", and the
    // application object has just set the locale from the environment.
    std::setlocale(LC_NUMERIC, "C");
    // As in the program: the engine's stream buffers of each connection go back to the
    // system when the stream ends, so a source that keeps dropping out grows nothing.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
}
