#include "window/virtual_keys.h"

#include <QKeyEvent>
#include <array>

namespace {

// X11 and evdev+8 key codes of the letter keys, A to Z, as placed on a
// standard keyboard.
constexpr std::array<int, 26> LetterScanCodes = {38, 56, 54, 40, 26, 41, 42, 43, 31, 44, 45, 46, 58,
                                                 57, 32, 33, 24, 27, 39, 28, 30, 55, 25, 53, 29, 52};

int KeypadKey(int key)
{
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return VK_NUMPAD0 + (key - Qt::Key_0);
    // Without Num Lock the keypad sends the cursor keys.
    switch (key) {
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Delete: return VK_DELETE;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Clear: return VK_CLEAR;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_Enter:
    case Qt::Key_Return: return VK_RETURN;
    default: return 0;
    }
}

}  // namespace

int VirtualKeyCode(const QKeyEvent& event)
{
    const int key = event.key();
    if (event.modifiers() & Qt::KeypadModifier) {
        if (const int code = KeypadKey(key))
            return code;
    }
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return key;   // the same codes as the virtual keys
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return key;
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return VK_F1 + (key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Alt: return VK_MENU;
    case Qt::Key_Meta:
    case Qt::Key_Super_L: return VK_LWIN;
    case Qt::Key_Super_R: return VK_RWIN;
    case Qt::Key_Menu: return VK_APPS;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Delete: return VK_DELETE;
    default: break;
    }
#ifndef Q_OS_WIN
    // A letter key under a non-Latin layout: find it by its place.
    const int scan = static_cast<int>(event.nativeScanCode());
    for (int i = 0; i < 26; ++i)
        if (LetterScanCodes[i] == scan)
            return Qt::Key_A + i;
#endif
    return 0;
}
