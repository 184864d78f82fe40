#include "gui/WrappedLabel.h"

#include <QPainter>
#include <QTextLayout>

#include <cmath>

namespace tarvel {

int WrappedLabel::heightForWidth(int width) const
{
    QTextLayout layout(text(), font());
    return int(std::ceil(layOut(layout, width)));
}

void WrappedLabel::paintEvent(QPaintEvent* event)
{
    // The frame alone, past QLabel's own painting: the text is laid out and drawn here.
    QFrame::paintEvent(event); // NOLINT(bugprone-parent-virtual-call)
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    const QRect area = contentsRect();
    QTextLayout layout(text(), font());
    layOut(layout, area.width());
    layout.draw(&painter, area.topLeft());
}

qreal WrappedLabel::layOut(QTextLayout& layout, qreal width) const
{
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    qreal height = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, height));
        height += line.height();
    }
    layout.endLayout();
    return height;
}

} // namespace tarvel
