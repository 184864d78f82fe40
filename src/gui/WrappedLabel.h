#pragma once

#include <QLabel>

class QTextLayout;

namespace tarvel {

// A plain-text label that wraps at word boundaries, and inside a word too long for one row (a path,
// a value typed without spaces), so that all of its text shows at its width.
class WrappedLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Lays the text out in rows of `width`; gives their height.
    qreal layOut(QTextLayout& layout, qreal width) const;
};

} // namespace tarvel
