#pragma once

#include <clocale>
#include <malloc.h>

// What the program's main sets for the whole process before it plays, and why it does,
// is told there; test programs that construct the real engine call this after building
// their application object.
inline void prepareEngineProcess()
{
    std::setlocale(LC_NUMERIC, "C");
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
}
