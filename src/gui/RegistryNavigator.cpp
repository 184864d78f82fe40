#include "gui/RegistryNavigator.h"

#include "gui/RegistryDataset.h"

#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QToolButton>

namespace tarvel {

namespace {

using Button = RegistryNavigator::Button;

struct ButtonText {
    const char* name;
    const char* hint;
};

// Left to right; the first six move and repeat while held down.
const ButtonText ButtonTexts[RegistryNavigator::ButtonCount] = {
    {"wwDBNavigator1First", "Move to first record"},
    {"wwDBNavigator1PriorPage", "Move backward 10 records"},
    {"wwDBNavigator1Prior", "Move to prior record"},
    {"wwDBNavigator1Next", "Move to next record"},
    {"wwDBNavigator1NextPage", "Move forward 10 records"},
    {"wwDBNavigator1Last", "Move to last record"},
    {"wwDBNavigator1Insert", "Insert new record"},
    {"wwDBNavigator1Delete", "Delete current record"},
    {"wwDBNavigator1Edit", "Edit current record"},
    {"wwDBNavigator1Post", "Post changes of current record"},
    {"wwDBNavigator1Cancel", "Cancel changes made to current record"},
    {"wwDBNavigator1Refresh", "Refresh the contents of the dataset"},
    {"wwDBNavigator1SaveBookmark", "Bookmark current record"},
    {"wwDBNavigator1RestoreBookmark", "Go back to saved bookmark"},
};
constexpr int MovingButtons = 6;
constexpr int ButtonSize = 26;

// A left- or right-pointing triangle in a 16 by 16 glyph, its tip at x = tip.
void Triangle(QPainter& p, qreal tip, bool left)
{
    const qreal base = left ? tip + 6 : tip - 6;
    p.drawPolygon(QPolygonF({QPointF(tip, 8), QPointF(base, 3), QPointF(base, 13)}));
}

// The navigator's small pictures, drawn rather than loaded so that the program carries no image files.
QIcon Glyph(Button index)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(0x20, 0x20, 0x60);
    p.setPen(QPen(ink, 1.5));
    p.setBrush(ink);
    switch (index) {
    case Button::First:
        p.drawLine(QPointF(3.5, 3), QPointF(3.5, 13));
        Triangle(p, 5, true);
        Triangle(p, 10, true);
        break;
    case Button::PriorPage:
        Triangle(p, 2, true);
        Triangle(p, 8, true);
        break;
    case Button::Prior:
        Triangle(p, 5, true);
        break;
    case Button::Next:
        Triangle(p, 11, false);
        break;
    case Button::NextPage:
        Triangle(p, 8, false);
        Triangle(p, 14, false);
        break;
    case Button::Last:
        Triangle(p, 6, false);
        Triangle(p, 11, false);
        p.drawLine(QPointF(12.5, 3), QPointF(12.5, 13));
        break;
    case Button::Insert:
        p.setPen(QPen(ink, 2.5));
        p.drawLine(8, 3, 8, 13);
        p.drawLine(3, 8, 13, 8);
        break;
    case Button::Delete:
        p.setPen(QPen(ink, 2.5));
        p.drawLine(3, 8, 13, 8);
        break;
    case Button::Edit:
        p.drawPolygon(QPolygonF({QPointF(8, 3), QPointF(3, 13), QPointF(13, 13)}));
        break;
    case Button::Post:
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(0, 0x80, 0), 2.5));
        p.drawPolyline(QPolygonF({QPointF(3, 8), QPointF(7, 12), QPointF(13, 4)}));
        break;
    case Button::Cancel:
        p.setPen(QPen(QColor(0xb0, 0, 0), 2.5));
        p.drawLine(4, 4, 12, 12);
        p.drawLine(12, 4, 4, 12);
        break;
    case Button::Refresh: {
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(3, 3, 10, 10), 90 * 16, 270 * 16);
        p.setBrush(ink);
        p.drawPolygon(QPolygonF({QPointF(8, 1), QPointF(12, 3), QPointF(8, 5.5)}));
        break;
    }
    case Button::SaveBookmark:
    case Button::RestoreBookmark:
        p.setPen(QPen(ink, 1));
        p.setBrush(index == Button::SaveBookmark ? QColor(0xd0, 0x30, 0x30) : QColor(0x30, 0x60, 0xd0));
        p.drawPolygon(QPolygonF({QPointF(4, 2), QPointF(12, 2), QPointF(12, 14), QPointF(8, 10), QPointF(4, 14)}));
        break;
    }
    return QIcon(pixmap);
}

} // namespace

RegistryNavigator::RegistryNavigator(QWidget* parent) : QWidget(parent)
{
    setObjectName("wwDBNavigator1");
    resize(ButtonSize * ButtonCount, ButtonSize);
    for (int i = 0; i < ButtonCount; ++i) {
        auto* button = new QToolButton(this);
        button->setObjectName(ButtonTexts[i].name);
        button->setGeometry(i * ButtonSize, 0, ButtonSize, ButtonSize);
        button->setToolTip(ButtonTexts[i].hint);
        button->setIcon(Glyph(static_cast<Button>(i)));
        if (i < MovingButtons) {
            button->setAutoRepeat(true);
            button->setAutoRepeatDelay(500);
            button->setAutoRepeatInterval(100);
        }
        buttons_[i] = button;
    }
}

void RegistryNavigator::follow(const RegistryDataset& dataset)
{
    const bool open = dataset.IsOpen();
    const bool editing = dataset.IsEditing();
    const bool rows = open && !dataset.IsEmpty();
    const bool up = open && !dataset.Bof();
    const bool down = open && !dataset.Eof();
    const bool enabled[ButtonCount] = {up,
                                       up,
                                       up,
                                       down,
                                       down,
                                       down,
                                       open,
                                       rows,
                                       rows && !editing,
                                       editing,
                                       editing,
                                       open,
                                       open && dataset.CurrentId() > 0,
                                       open && dataset.HasBookmark()};
    for (int i = 0; i < ButtonCount; ++i)
        buttons_[i]->setEnabled(enabled[i]);
}

} // namespace tarvel
