#pragma once
// Qt key events as the Windows virtual-key codes the dispatcher speaks.
#include <Qt>

namespace mirvo {

// 0 when the key has no code the program uses. `keypad` is whether the key
// came from the numeric keypad (Qt::KeypadModifier).
int VirtualKey(int qtKey, bool keypad);
// Shift, Alt and Ctrl as the dispatcher's modifier bits.
unsigned ModifierBits(Qt::KeyboardModifiers modifiers);

}  // namespace mirvo
