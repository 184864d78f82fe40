#include "gui/ElidedLabel.h"

#include <QPainter>
#include <QStyle>

namespace tarvel {

bool ElidedLabel::elided() const { return fontMetrics().horizontalAdvance(text()) > textArea().width(); }

QSize ElidedLabel::minimumSizeHint() const { return {0, QLabel::minimumSizeHint().height()}; }

void ElidedLabel::paintEvent(QPaintEvent* event)
{
    // The frame alone, past QLabel's own painting: the text is drawn here, cut to the width.
    QFrame::paintEvent(event); // NOLINT(bugprone-parent-virtual-call)
    QPainter painter(this);
    const QRect area = textArea();
    style()->drawItemText(&painter, area, int(alignment()), palette(), isEnabled(),
                          fontMetrics().elidedText(text(), Qt::ElideRight, area.width()), foregroundRole());
}

void ElidedLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    emit resized();
}

// Where the text goes: inside the frame, less the indent a framed label keeps from its edge.
QRect ElidedLabel::textArea() const
{
    const int inset = margin()
                    + (indent() >= 0      ? indent()
                       : frameWidth() > 0 ? fontMetrics().horizontalAdvance('x') / 2
                                          : 0);
    return contentsRect().adjusted(inset, margin(), -inset, -margin());
}

} // namespace tarvel
