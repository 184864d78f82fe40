#include "gui/frm_Tarvel.h"

#include "base/ErrorReport.h"
#include "base/Errors.h"
#include "control/CommandLine.h"
#include "control/TarvelService.h"
#include "data/EDatabaseError.h"
#include "gui/RegistryDataset.h"
#include "gui/dlg_Setup.h"
#include "lookup/Clock.h"
#include "terminal/ScanStatistics.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <exception>
#include <iterator>

namespace tarvel {

namespace {

template <typename W>
W* Named(W* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// The operator's fonts are Windows fonts; each is followed by its metric-compatible stand-in.
QFont PixelFont(const QStringList& families, int pixels, bool bold = false)
{
    QFont font;
    font.setFamilies(families);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

const QStringList kWindowFamilies{"Liberation Sans", "Arial"};
const QStringList kCalibriFamilies{"Calibri", "Carlito"};
const QStringList kButtonFamilies{"Tahoma", "Liberation Sans"};
const QStringList kLogFamilies{"Courier New", "Liberation Mono"};

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, QStyle::StandardPixmap glyph,
                        const QRect& geometry)
{
    auto* button = Named(new QPushButton(QString::fromLatin1(caption), parent), name);
    button->setGeometry(geometry);
    button->setFont(PixelFont(kButtonFamilies, 11));
    button->setIcon(parent->style()->standardIcon(glyph));
    return button;
}

// A panel of the status bar; the last one (stretch 1) takes the rest of the bar, at least `width`.
QLabel* MakeStatusPanel(QStatusBar* bar, const char* name, int width, int stretch = 0)
{
    auto* panel = Named(new QLabel(bar), name);
    if (stretch == 0)
        panel->setFixedWidth(width);
    else
        panel->setMinimumWidth(width);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    bar->addWidget(panel, stretch);
    return panel;
}

// Keeps the mouse and the keyboard away from the settings panel's controls while they stay enabled:
// disabled, they would grey their texts, hard to read on the yellow.
class InputBlocker : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ContextMenu:
            return true;
        default:
            return QObject::eventFilter(watched, event);
        }
    }
};

} // namespace

TfrmTarvel::TfrmTarvel(const QString& programFolder, HostLookup host, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      clock_(std::make_unique<SystemClock>()),
      service_(std::make_unique<TarvelService>(*this, programFolder, *clock_, std::move(host))),
      registryDataset_(std::make_unique<RegistryDataset>(service_->Registry()))
{
    setObjectName("frmTarvel");
    buildControls();
    // The platform window first, so that its title bar and borders count in the centring.
    create();
    centre();
    connect(service_.get(), &TarvelService::stateChanged, this, &TfrmTarvel::refresh);
    refresh();
    FormCreate();
}

TfrmTarvel::~TfrmTarvel() { disconnect(service_.get(), nullptr, this, nullptr); }

void TfrmTarvel::buildControls()
{
    setWindowTitle(QString());
    setFixedSize(562, 452);
    setFont(PixelFont(kWindowFamilies, 11));

    Bevel1 = Named(new QFrame(this), "Bevel1");
    Bevel1->setGeometry(8, 8, 100, 85);
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Image1 = Named(new QLabel(Bevel1), "Image1");
    Image1->setGeometry(2, 2, 96, 80);
    Image1->setPixmap(DrawLogo());

    Label1 = Named(new QLabel("Tarvel Price Checker", this), "Label1");
    Label1->setGeometry(120, 12, 240, 26);
    Label1->setFont(PixelFont(kCalibriFamilies, 19, true));
    Label2 = Named(new QLabel(QStringLiteral("Price Checker Module v" TARVEL_VERSION), this), "Label2");
    Label2->setGeometry(120, 40, 240, 18);
    Label2->setFont(PixelFont(kCalibriFamilies, 12));

    BitBtn1 = MakeButton(this, "BitBtn1", "Start", QStyle::SP_MediaPlay, QRect(8, 102, 100, 56));
    BitBtn2 = MakeButton(this, "BitBtn2", "Stop", QStyle::SP_MediaStop, QRect(8, 166, 100, 25));
    BitBtn3 = MakeButton(this, "BitBtn3", "Setup", QStyle::SP_FileDialogDetailedView, QRect(8, 197, 100, 25));
    BitBtn4 = MakeButton(this, "BitBtn4", "Close", QStyle::SP_DialogCloseButton, QRect(8, 228, 100, 25));
    connect(BitBtn1, &QPushButton::clicked, this, &TfrmTarvel::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TfrmTarvel::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TfrmTarvel::BitBtn3Click);
    connect(BitBtn4, &QPushButton::clicked, this, &TfrmTarvel::BitBtn4Click);

    MemoLog = Named(new QPlainTextEdit(this), "MemoLog");
    MemoLog->setGeometry(124, 68, 426, 344);
    MemoLog->setReadOnly(true);
    MemoLog->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    MemoLog->setFrameShape(QFrame::NoFrame);
    MemoLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    MemoLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    MemoLog->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    MemoLog->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    MemoLog->setMaximumBlockCount(kLogLinesKept);
    MemoLog->setFont(PixelFont(kLogFamilies, 11));
    QPalette blue = MemoLog->palette();
    blue.setColor(QPalette::Text, Qt::blue);
    MemoLog->setPalette(blue);

    Panel1 = Named(new QFrame(this), "Panel1");
    Panel1->setGeometry(562 - 8 - 185, 8, 185, 48);
    Panel1->setFrameShape(QFrame::NoFrame);
    Panel1->setAutoFillBackground(true);
    QPalette paleYellow = Panel1->palette();
    paleYellow.setColor(QPalette::Window, QColor(255, 255, 128));
    Panel1->setPalette(paleYellow);
    cbAutoStart = Named(new QCheckBox("Auto Start", Panel1), "cbAutoStart");
    cbAutoStart->setGeometry(6, 3, 90, 20);
    CheckBoxVexaXE = Named(new QCheckBox("Vexa XE", Panel1), "CheckBoxVexaXE");
    CheckBoxVexaXE->setGeometry(6, 25, 74, 20);
    ComboBoxPriceLevel = Named(new QComboBox(Panel1), "ComboBoxPriceLevel");
    ComboBoxPriceLevel->setGeometry(82, 24, 97, 21);
    ComboBoxPriceLevel->setEditable(true);
    ComboBoxPriceLevel->addItems({"M_PRICE", "M_P1_S1", "M_P1_S2", "M_P1_S3", "M_P1_S4", "M_P1_S5", "M_P1_S6",
                                  "M_P1_S7", "M_P1_S8", "M_P1_S9", "M_P1_MIN_PRICE"});
    // The operator cannot change the settings here: the controls take no input and no focus.
    auto* blocker = new InputBlocker(Panel1);
    for (QWidget* control : Panel1->findChildren<QWidget*>()) {
        control->installEventFilter(blocker);
        control->setFocusPolicy(Qt::NoFocus);
    }

    StatusBar1 = Named(new QStatusBar(this), "StatusBar1");
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setGeometry(0, 452 - 22, 562, 22);
    StoreCode = MakeStatusPanel(StatusBar1, "StoreCode", 75);
    StoreName = MakeStatusPanel(StatusBar1, "StoreName", 250);
    ActivePriceLevel = MakeStatusPanel(StatusBar1, "ActivePriceLevel", 50, 1);
    // As wide as its text: the price level keeps the room it had, the remarks take what is left.
    ScanPanel = Named(new QLabel(StatusBar1), "ScanPanel");
    ScanPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StatusBar1->addWidget(ScanPanel);
    scanPanelTimer_ = new QTimer(this);
    scanPanelTimer_->setInterval(1000);
    connect(scanPanelTimer_, &QTimer::timeout, this, &TfrmTarvel::showScanCounts);
    scanPanelTimer_->start();
    RemarkPanel = MakeStatusPanel(StatusBar1, "RemarkPanel", 50, 1);
    QPalette darkRed = RemarkPanel->palette();
    darkRed.setColor(QPalette::WindowText, QColor(160, 0, 0));
    RemarkPanel->setPalette(darkRed);
    RemarkPanel->hide();
}

void TfrmTarvel::centre()
{
    if (QScreen* shown = screen())
        move(pos() + shown->availableGeometry().center() - frameGeometry().center());
}

QPixmap TfrmTarvel::DrawLogo()
{
    QPixmap logo(96, 80);
    logo.fill(Qt::white);
    QPainter painter(&logo);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);

    QLinearGradient night(0, 0, 0, 80);
    night.setColorAt(0, QColor(0x2a, 0x6f, 0xd0));
    night.setColorAt(1, QColor(0x0c, 0x2b, 0x6b));
    painter.setBrush(night);
    painter.drawRoundedRect(QRectF(1, 1, 94, 78), 10, 10);

    // A shelf price tag with its string hole, a barcode on it and the red line of a scanner.
    const QPointF tag[] = {{10, 40}, {28, 17}, {88, 17}, {88, 63}, {28, 63}};
    painter.setBrush(QColor(255, 255, 128));
    painter.drawPolygon(tag, 5);
    painter.setBrush(night);
    painter.drawEllipse(QPointF(25, 40), 4, 4);

    painter.setBrush(Qt::black);
    const int bars[] = {2, 1, 1, 3, 1, 2, 2, 1, 3, 1, 1, 2, 1, 3, 2, 1};
    qreal x = 37;
    for (int i = 0; i < int(std::size(bars)); ++i) {
        if (i % 2 == 0)
            painter.drawRect(QRectF(x, 23, bars[i] * 1.5, 34));
        x += bars[i] * 1.5 + 1;
    }
    painter.setPen(QPen(QColor(235, 35, 35), 2.5, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(33, 40), QPointF(84, 40));
    return logo;
}

void TfrmTarvel::refresh()
{
    BitBtn1->setEnabled(service_->StartEnabled());
    BitBtn2->setEnabled(service_->StopEnabled());
    cbAutoStart->setChecked(service_->AutoStart());
    const bool extended = service_->ExtendedLayout();
    CheckBoxVexaXE->setChecked(extended);
    ComboBoxPriceLevel->setCurrentText(QString::fromLatin1(service_->PriceColumn()));
    // A column name longer than the box shows its start, not its end.
    ComboBoxPriceLevel->lineEdit()->setCursorPosition(0);
    CheckBoxVexaXE->setVisible(extended);
    ComboBoxPriceLevel->setVisible(extended);
    StoreCode->setText(QString::fromLatin1(service_->StoreCode()));
    StoreName->setText(QString::fromLatin1(service_->StoreName()));
    ActivePriceLevel->setText(QString::fromLatin1(service_->ActivePriceLevel()));
    ActivePriceLevel->setToolTip(ActivePriceLevel->text());
    showRemarks(service_->CurrentRemarks());
    showScanCounts();
}

void TfrmTarvel::showScanCounts()
{
    ScanStatistics& statistics = service_->Statistics();
    const qint64 scans = statistics.countsToday().scans();
    const int terminals = statistics.terminalsConnected();
    QString text = QStringLiteral("%1 scans \u00b7 %2 term.").arg(scans).arg(terminals);
    QString tip = QStringLiteral("Scans today: %1\nTerminals connected: %2").arg(scans).arg(terminals);
    const QByteArray url = service_->StatusUrl();
    if (!url.isEmpty()) {
        // The bar is narrow: the panel names the status page's port where the price level and a remark
        // leave room for it; the tooltip always has the whole address.
        const QString port =
            QStringLiteral(" \u00b7 :") + QString::fromLatin1(url.mid(url.lastIndexOf(':') + 1).chopped(1));
        if (scanPanelRoom() >= ScanPanel->fontMetrics().horizontalAdvance(text + port) + 2 * ScanPanel->frameWidth())
            text += port;
        tip += QStringLiteral("\nStatus page: ") + QString::fromLatin1(url);
    }
    ScanPanel->setText(text);
    ScanPanel->setToolTip(tip);
}

int TfrmTarvel::scanPanelRoom() const
{
    // The gap between two panels as the bar lays them out (before the first layout, the usual one).
    const int laidOutGap = StoreName->x() - StoreCode->x() - StoreCode->width();
    const int gap = laidOutGap > 0 ? laidOutGap : 6;
    const int priceStart = StoreName->x() > 0 ? StoreName->x() + StoreName->width() + gap
                                              : StoreCode->width() + StoreName->width() + 2 * gap;
    const int price = std::max(ActivePriceLevel->minimumWidth(),
                               ActivePriceLevel->fontMetrics().horizontalAdvance(ActivePriceLevel->text())
                                   + 2 * ActivePriceLevel->frameWidth());
    const int remark = RemarkPanel->isHidden() ? 0 : RemarkPanel->minimumWidth() + gap;
    return StatusBar1->width() - priceStart - price - gap - remark - gap;
}

void TfrmTarvel::showRemarks(const Remarks& remarks)
{
    QStringList lines;
    QStringList warnings;
    for (const Remark& remark : remarks) {
        lines.append(QString::fromLatin1(RemarkLine(remark)));
        if (remark.kind != Remark::Kind::Info)
            warnings.append(QString::fromLatin1(remark.text));
    }
    if (warnings.size() > 1)
        warnings.first() += QStringLiteral(" (and %1 more)").arg(warnings.size() - 1);
    RemarkPanel->setText(warnings.value(0));
    RemarkPanel->setToolTip(lines.join('\n'));
    RemarkPanel->setVisible(!warnings.isEmpty());
    StatusBar1->setToolTip(lines.join('\n'));
}

void TfrmTarvel::FormCreate()
{
    // The log starts empty, before any line of the creation.
    MemoLog->clear();
    service_->FormCreate();
    try {
        registryDataset_->Open();
    } catch (const EDatabaseError& error) {
        showErrorBox(error.what());
    }
}

void TfrmTarvel::FormShow() { service_->FormShow(); }

void TfrmTarvel::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Shown again after a minimize is not shown for the first time.
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

void TfrmTarvel::BitBtn1Click() { service_->Start(); }

void TfrmTarvel::BitBtn2Click() { service_->Stop(); }

void TfrmTarvel::BitBtn3Click()
{
    try {
        service_->RunSetup([this] {
            IniFile* settings = service_->SettingsFile();
            if (!settings)
                throw TarvelError("The settings file is not open; the setup dialog cannot be shown");
            TdlgSetup::Execute(*settings, *registryDataset_, service_->Pos(), service_->StoreCode(), *this, this);
        });
    } catch (const std::exception& error) {
        ReportErrorNow(*this, error.what());
    }
}

void TfrmTarvel::BitBtn4Click() { close(); }

void TfrmTarvel::closeEvent(QCloseEvent* event)
{
    if (service_->CloseRequested())
        event->accept();
    else
        event->ignore();
}

void TfrmTarvel::showLogLine(const QByteArray& line)
{
    // The view follows new lines only while it shows the newest: an operator who scrolled back to
    // read keeps the place.
    QScrollBar* bar = MemoLog->verticalScrollBar();
    const bool following = bar->value() == bar->maximum();
    // One byte, one character: whatever a terminal or the database sent shows as it came.
    MemoLog->appendPlainText(QString::fromLatin1(line));
    if (following)
        bar->setValue(bar->maximum());
}

void TfrmTarvel::showBox(int icon, const char* title, const QByteArray& text, const char* name)
{
    execBox(icon, title, text, name);
    // Failures that came while the box was open: one report of the newest, saying how many came.
    while (boxesOpen_ == 0 && foldedErrors_ > 0) {
        const QByteArray note =
            foldedErrors_ == 1
                ? QByteArray("1 more error came while the box before this one was open; this is it.")
                : QByteArray::number(foldedErrors_)
                      + " more errors came while the box before this one was open; this is the last of them.";
        const QByteArray folded = foldedError_ + "\n\n" + note;
        foldedError_.clear();
        foldedErrors_ = 0;
        execBox(QMessageBox::Critical, kApplicationTitle, folded, "GeneralErrorBox");
    }
}

void TfrmTarvel::execBox(int icon, const char* title, const QByteArray& text, const char* name)
{
    QMessageBox box(static_cast<QMessageBox::Icon>(icon), QString::fromLatin1(title), QString::fromLatin1(text),
                    QMessageBox::Ok, this);
    box.setObjectName(QString::fromLatin1(name));
    // Database messages may hold "<" and "&"; they are shown as written, never as markup.
    box.setTextFormat(Qt::PlainText);
    ++boxesOpen_;
    box.exec();
    --boxesOpen_;
}

void TfrmTarvel::showGeneralError(const QByteArray& text)
{
    // A box opened inside another's event loop would nest without end while terminals go on failing
    // (each box a level of stack): the report waits for the box on screen to close.
    if (boxesOpen_ > 0) {
        foldedError_ = text;
        ++foldedErrors_;
        return;
    }
    showBox(QMessageBox::Critical, kApplicationTitle, text, "GeneralErrorBox");
}

void TfrmTarvel::showErrorBox(const QByteArray& text) { showBox(QMessageBox::Critical, "Error", text, "ErrorBox"); }

void TfrmTarvel::showInformation(const QByteArray& text)
{
    showBox(QMessageBox::Information, "Information", text, "InformationBox");
}

void TfrmTarvel::showNotice(const QByteArray& text)
{
    showBox(QMessageBox::NoIcon, kApplicationTitle, text, "NoticeBox");
}

int RunWindow(int& argc, char** argv, const QString& programFolder)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
    TfrmTarvel window(programFolder.isEmpty() ? TarvelService::DefaultProgramFolder() : programFolder);
    if (programFolder.isEmpty())
        window.Service().AddRemark(DefaultProgramFolderRemark(window.Service().ProgramFolder()));
    window.show();
    return app.exec();
}

} // namespace tarvel
