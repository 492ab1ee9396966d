#pragma once

#include <Qt>

// Mouse button and shift-key codes the controls report in their MouseDown, MouseUp,
// MouseMove, KeyDown and KeyUp events: plain numbers the callers compare with, the same
// for every control, instead of Qt's flags.
namespace InputCodes {

enum ButtonCode { LeftButton = 1, RightButton = 2, MiddleButton = 4 };
enum ShiftCode { ShiftMask = 1, CtrlMask = 2, AltMask = 4 };

// Buttons other than these three report nothing.
inline int buttonCode(Qt::MouseButtons buttons)
{
    return (buttons & Qt::LeftButton ? LeftButton : 0) | (buttons & Qt::RightButton ? RightButton : 0)
        | (buttons & Qt::MiddleButton ? MiddleButton : 0);
}

inline int shiftCode(Qt::KeyboardModifiers modifiers)
{
    return (modifiers & Qt::ShiftModifier ? ShiftMask : 0) | (modifiers & Qt::ControlModifier ? CtrlMask : 0)
        | (modifiers & Qt::AltModifier ? AltMask : 0);
}

} // namespace InputCodes
