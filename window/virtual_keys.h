#pragma once
// Virtual-key codes: the game's commands are defined on them, so that the
// same keys act whatever the keyboard layout.

class QKeyEvent;

enum VirtualKey : int {
    VK_CLEAR = 12,
    VK_RETURN = 13,
    VK_SHIFT = 16,
    VK_CONTROL = 17,
    VK_MENU = 18,   // Alt
    VK_ESCAPE = 27,
    VK_SPACE = 32,
    VK_PRIOR = 33,
    VK_NEXT = 34,   // Page Down
    VK_END = 35,
    VK_HOME = 36,
    VK_LEFT = 37,
    VK_UP = 38,
    VK_RIGHT = 39,
    VK_DOWN = 40,
    VK_INSERT = 45,
    VK_DELETE = 46,
    VK_LWIN = 91,
    VK_RWIN = 92,
    VK_APPS = 93,
    VK_NUMPAD0 = 96,
    VK_F1 = 112,
    VK_F10 = 121,
};

// The virtual-key code of a key press, or 0 for keys the game has no code
// for. Letters and digits are taken from the key's place on the keyboard
// when the layout gives no Latin letter (a Cyrillic layout, say).
int VirtualKeyCode(const QKeyEvent& event);
