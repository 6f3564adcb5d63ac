#pragma once
// Qt key events as the game's virtual-key codes, so that the same keys act
// whatever the keyboard layout.

#include "game_session/virtual_key.h"

class QKeyEvent;

// The virtual-key code of a key press, or 0 for keys the game has no code
// for. Letters and digits are taken from the key's place on the keyboard
// when the layout gives no Latin letter (a Cyrillic layout, say).
int VirtualKeyCode(const QKeyEvent& event);
