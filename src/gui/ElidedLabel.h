#pragma once

#include <QLabel>

namespace tarvel {

// A one-line label that keeps its whole text (text() and the tooltip the owner gives it) and shows
// as much as its width takes, cut with "…". Any width will do for the layout: the owner says where
// the whole text shows when it is cut.
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

    // Whether the text is cut at the label's width now.
    bool elided() const;
    QSize minimumSizeHint() const override;

signals:
    // The label's width changed, so the text may be cut now, or whole again.
    void resized();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QRect textArea() const;
};

} // namespace tarvel
