#pragma once

class QKeyEvent;
class QWidget;

namespace tarvel {

// Enter (Return or the keypad's Enter) presses the push button that has the focus in `window`, as
// Space does, the way Windows dialogs have it; in a text field or anywhere else it presses nothing, so
// no button becomes a default one. For a window's keyPressEvent, with the keys its controls left
// over; true when the key pressed a button.
bool PressFocusedButton(QWidget& window, QKeyEvent* event);

} // namespace tarvel
