#include "gui/ButtonKeys.h"

#include <QKeyEvent>
#include <QPushButton>

namespace tarvel {

bool PressFocusedButton(QWidget& window, QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (!enter || modifiers != Qt::NoModifier)
        return false;
    auto* button = qobject_cast<QPushButton*>(window.focusWidget());
    if (!button || !button->isEnabled() || !button->isVisible())
        return false;
    event->accept();
    // Held down, the key presses the button once, as Space does.
    if (!event->isAutoRepeat())
        button->click();
    return true;
}

} // namespace tarvel
