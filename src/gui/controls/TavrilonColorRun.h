#pragma once

#include "controls/Tavrilon.h"

#include <QTextCharFormat>
#include <array>
#include <vector>

// One colouring run of the control: the walk over its text and the formats it gives the
// ranges found. Known only to the control's own sources.
struct Tavrilon::Run
{
    explicit Run(TavrilonColorizer colorizer)
        : walker(std::move(colorizer))
    { }

    TavrilonColorizer walker;
    qsizetype resetUpTo = 0; // position up to which the base style is given
    std::vector<int> percents; // reached in the current slice, reported after it
    QTextCharFormat base;
    std::array<QTextCharFormat, styleCount> formats;
    // The first slice of a long run; later ones grow or shrink with the time taken.
    static constexpr qsizetype firstSliceLength = 2048;
    qsizetype sliceLength = firstSliceLength;
    int progressMode = 0; // 1 progress bar, 2 "Percent" property
    bool joinUndo = false;
    bool undoWasEnabled = true;
};
