#include "gui/frm_Tarvel.h"

#include "base/ErrorReport.h"
#include "base/Errors.h"
#include "config/Settings.h"
#include "control/CommandLine.h"
#include "control/TarvelService.h"
#include "data/EDatabaseError.h"
#include "gui/ButtonKeys.h"
#include "gui/ElidedLabel.h"
#include "gui/RegistryDataset.h"
#include "gui/dlg_Setup.h"
#include "lookup/Clock.h"
#include "status/ScanStatistics.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
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

// The price level's panel is never narrower than this.
constexpr int kPriceLevelLeastWidth = 50;
// The room a remark keeps in the status bar beside the scan panel; less of it shows when failures are
// counted there too, the whole text then showing above the bar.
constexpr int kRemarkLeastWidth = 50;
// A failure's box waits at least this long, and until the event thread has run that long unheld.
constexpr int kErrorBoxSettleMs = 300;
// A timer this late was held up: the event thread did not run meanwhile.
constexpr int kHeldMs = 100;

// A panel of the status bar: of a fixed width, or (stretch 1) taking the rest of the bar.
template <typename Label = QLabel>
Label* MakeStatusPanel(QStatusBar* bar, const char* name, int width, int stretch = 0)
{
    auto* panel = Named(new Label(bar), name);
    if (stretch == 0)
        panel->setFixedWidth(width);
    else
        panel->setMinimumWidth(width);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    bar->addWidget(panel, stretch);
    return panel;
}

// The width a framed panel needs to show `text` whole.
int PanelWidthFor(const QLabel* panel, const QString& text)
{
    const QFontMetrics& metrics = panel->fontMetrics();
    return metrics.horizontalAdvance(text) + 2 * (panel->frameWidth() + metrics.horizontalAdvance('x') / 2);
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
    for (const char* column : kPriceColumnChoices)
        ComboBoxPriceLevel->addItem(QString::fromLatin1(column));
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
    StoreName = MakeStatusPanel<ElidedLabel>(StatusBar1, "StoreName", 250);
    ActivePriceLevel = MakeStatusPanel(StatusBar1, "ActivePriceLevel", kPriceLevelLeastWidth);
    // As wide as its text: the panels before it keep theirs, the remark takes what is left.
    ScanPanel = Named(new QLabel(StatusBar1), "ScanPanel");
    ScanPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StatusBar1->addWidget(ScanPanel);
    scanPanelTimer_ = new QTimer(this);
    scanPanelTimer_->setInterval(1000);
    connect(scanPanelTimer_, &QTimer::timeout, this, &TfrmTarvel::showScanCounts);
    scanPanelTimer_->start();
    QPalette darkRed = palette();
    darkRed.setColor(QPalette::WindowText, QColor(160, 0, 0));
    FoldedErrorsPanel = Named(new QLabel(StatusBar1), "FoldedErrorsPanel");
    FoldedErrorsPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    FoldedErrorsPanel->setPalette(darkRed);
    StatusBar1->addWidget(FoldedErrorsPanel);
    FoldedErrorsPanel->hide();
    RemarkPanel = MakeStatusPanel<ElidedLabel>(StatusBar1, "RemarkPanel", 0, 1);
    RemarkPanel->setPalette(darkRed);
    RemarkPanel->hide();
    connect(RemarkPanel, &ElidedLabel::resized, this, &TfrmTarvel::showWarningLine);

    WarningLine = Named(new WrappedLabel(this), "WarningLine");
    WarningLine->setPalette(darkRed);
    WarningLine->hide();

    errorBoxTimer_ = new QTimer(this);
    errorBoxTimer_->setSingleShot(true);
    connect(errorBoxTimer_, &QTimer::timeout, this, &TfrmTarvel::errorBoxDue);
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
    StoreName->setToolTip(StoreName->text());
    ActivePriceLevel->setText(QString::fromLatin1(service_->ActivePriceLevel()));
    ActivePriceLevel->setToolTip(ActivePriceLevel->text());
    // In the Vexa XE layout the panel keeps one width whichever column is chosen.
    int priceWidth = std::max(kPriceLevelLeastWidth, PanelWidthFor(ActivePriceLevel, ActivePriceLevel->text()));
    if (extended) {
        for (const char* column : kPriceColumnChoices)
            priceWidth = std::max(priceWidth, PanelWidthFor(ActivePriceLevel, QString::fromLatin1(column)));
    }
    ActivePriceLevel->setFixedWidth(priceWidth);
    showRemarks(service_->CurrentRemarks());
    showScanCounts();
}

void TfrmTarvel::showScanCounts()
{
    ScanStatistics& statistics = service_->Statistics();
    const qint64 scans = statistics.countsToday().scans();
    const int terminals = statistics.terminalsConnected();
    const QString count = QStringLiteral("%1 scans").arg(scans);
    const QString withTerminals = count + QStringLiteral(" \u00b7 %1 term.").arg(terminals);
    QStringList texts{withTerminals, count}; // the longest first
    QString tip = QStringLiteral("Scans today: %1\nTerminals connected: %2").arg(scans).arg(terminals);
    const QByteArray url = service_->StatusUrl();
    if (!url.isEmpty()) {
        const QString port =
            QStringLiteral(" \u00b7 :") + QString::fromLatin1(url.mid(url.lastIndexOf(':') + 1).chopped(1));
        texts.prepend(withTerminals + port);
        tip += QStringLiteral("\nStatus page: ") + QString::fromLatin1(url);
    }
    // The bar is narrow: the panel shows as much as the other panels leave room for, the tooltip all.
    const int room = scanPanelRoom();
    const auto fits = std::find_if(texts.begin(), texts.end(),
                                   [&](const QString& text) { return PanelWidthFor(ScanPanel, text) <= room; });
    const QString shown = fits == texts.end() ? QString() : *fits;
    ScanPanel->setText(shown);
    ScanPanel->setToolTip(tip);
    ScanPanel->setMinimumWidth(shown.isEmpty() ? 0 : PanelWidthFor(ScanPanel, shown));
    ScanPanel->setHidden(shown.isEmpty());
}

int TfrmTarvel::scanPanelRoom() const
{
    // The bar's margin and the gap between two panels as the bar lays them out (before the first
    // layout, the usual ones).
    const int laidOutGap = StoreName->x() - StoreCode->x() - StoreCode->width();
    const int gap = laidOutGap > 0 ? laidOutGap : 6;
    const int margin = StoreCode->x() > 0 ? StoreCode->x() : 2;
    int taken = 2 * margin + StoreCode->width() + gap + StoreName->width() + gap + ActivePriceLevel->width() + gap;
    if (!FoldedErrorsPanel->isHidden())
        taken += FoldedErrorsPanel->minimumWidth() + gap;
    if (!RemarkPanel->isHidden())
        taken += kRemarkLeastWidth + gap;
    return StatusBar1->width() - taken;
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
    RemarkPanel->setHidden(warnings.isEmpty());
    StatusBar1->setToolTip(lines.join('\n'));
    showWarningLine();
}

void TfrmTarvel::showWarningLine()
{
    const bool cut = !RemarkPanel->isHidden() && RemarkPanel->elided();
    WarningLine->setText(RemarkPanel->text());
    WarningLine->setHidden(!cut);
    // One row in the gap between the log and the status bar; a warning longer than the window is wide
    // takes rows from the bottom of the log.
    const int left = Bevel1->x();
    const int width = this->width() - 2 * left;
    const int height = cut ? std::max(WarningLine->fontMetrics().height() + 2, WarningLine->heightForWidth(width)) : 0;
    const int bottom = StatusBar1->y();
    WarningLine->setGeometry(left, bottom - height, width, height);
    const int logHeight = std::min(344, bottom - height - MemoLog->y());
    if (MemoLog->height() != logHeight) {
        QScrollBar* bar = MemoLog->verticalScrollBar();
        const bool following = bar->value() == bar->maximum();
        MemoLog->resize(MemoLog->width(), logHeight);
        if (following)
            bar->setValue(bar->maximum());
    }
}

void TfrmTarvel::FormCreate()
{
    // The log starts empty, before any line of the creation.
    MemoLog->clear();
    service_->readSettingsAndOpen();
    try {
        registryDataset_->Open();
    } catch (const EDatabaseError& error) {
        showErrorBox(error.what());
    }
}

void TfrmTarvel::FormShow() { service_->armAutoStart(); }

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
    if (!service_->CloseRequested()) {
        event->ignore();
        return;
    }
    // Failures still folded are told before the window goes.
    if (foldedErrors_ > 0 && boxesOpen_ == 0) {
        errorBoxTimer_->stop();
        showFoldedErrors();
    }
    event->accept();
}

void TfrmTarvel::keyPressEvent(QKeyEvent* event)
{
    if (!PressFocusedButton(*this, event))
        QWidget::keyPressEvent(event);
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
    if (boxesOpen_ > 0)
        return;
    // The operator has the window for a while before the next box; failures wait folded meanwhile.
    pausing_ = true;
    armErrorBox(kErrorBoxPauseMs);
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

void TfrmTarvel::showGeneralErrorBox(const QByteArray& text)
{
    // A box opened inside another's event loop would nest without end while terminals go on failing
    // (each box a level of stack): the report waits for the box on screen to close.
    if (boxesOpen_ > 0) {
        foldError(text);
        return;
    }
    showBox(QMessageBox::Critical, kApplicationTitle, text, "GeneralErrorBox");
}

void TfrmTarvel::showBackgroundErrorBox(const QByteArray& text)
{
    foldError(text);
    if (boxesOpen_ == 0 && !errorBoxTimer_->isActive())
        armErrorBox(kErrorBoxSettleMs);
}

void TfrmTarvel::foldError(const QByteArray& text)
{
    if (foldedErrors_ == 0)
        foldedSinceBox_ = boxesOpen_ > 0 || pausing_;
    foldedError_ = text;
    ++foldedErrors_;
    showFoldedCount();
}

void TfrmTarvel::armErrorBox(int ms)
{
    errorBoxWait_ = ms;
    errorBoxArmed_.start();
    errorBoxTimer_->start(ms);
}

void TfrmTarvel::errorBoxDue()
{
    // Late, the timer was held up with the event thread (a scan waiting on a database that does not
    // answer): the operator's clicks of that time may still wait behind it, and they go first.
    if (errorBoxArmed_.elapsed() > errorBoxWait_ + kHeldMs) {
        armErrorBox(kErrorBoxSettleMs);
        return;
    }
    pausing_ = false;
    // With a box open, the folded failures wait for it to close and the pause after it.
    if (foldedErrors_ > 0 && boxesOpen_ == 0)
        showFoldedErrors();
}

void TfrmTarvel::showFoldedErrors()
{
    QByteArray text = foldedError_;
    const QByteArray count = QByteArray::number(foldedErrors_);
    if (foldedSinceBox_) {
        text += foldedErrors_ == 1 ? "\n\n1 more error came since the box before this one opened; this is it."
                                   : "\n\n" + count
                                         + " more errors came since the box before this one opened; this is the "
                                           "last of them.";
    } else if (foldedErrors_ > 1) {
        text += "\n\n" + count + " errors came at once; this is the last of them.";
    }
    foldedError_.clear();
    foldedErrors_ = 0;
    showFoldedCount();
    showBox(QMessageBox::Critical, kApplicationTitle, text, "GeneralErrorBox");
}

void TfrmTarvel::showFoldedCount()
{
    const bool folded = foldedErrors_ > 0;
    QString text;
    if (folded) {
        text = QStringLiteral("%1%2 error%3")
                   .arg(foldedErrors_)
                   .arg(foldedSinceBox_ ? " more" : "")
                   .arg(foldedErrors_ == 1 ? "" : "s");
    }
    FoldedErrorsPanel->setText(text);
    FoldedErrorsPanel->setToolTip(folded ? QStringLiteral("Failures since the last box; their box follows in a few "
                                                          "seconds. The newest:\n")
                                               + QString::fromLatin1(foldedError_)
                                         : QString());
    FoldedErrorsPanel->setFixedWidth(folded ? PanelWidthFor(FoldedErrorsPanel, text) : 0);
    FoldedErrorsPanel->setHidden(!folded);
    showScanCounts();
}

void TfrmTarvel::showErrorBox(const QByteArray& text) { showBox(QMessageBox::Critical, "Error", text, "ErrorBox"); }

void TfrmTarvel::showInformationBox(const QByteArray& text)
{
    showBox(QMessageBox::Information, "Information", text, "InformationBox");
}

void TfrmTarvel::showNoticeBox(const QByteArray& text)
{
    showBox(QMessageBox::NoIcon, kApplicationTitle, text, "NoticeBox");
}

int RunWindow(int& argc, char** argv, const QString& programFolder)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
    if (RefusedToRoot(programFolder.isEmpty() ? TarvelService::DefaultProgramFolder() : programFolder))
        return 1;
    TfrmTarvel window(programFolder.isEmpty() ? TarvelService::DefaultProgramFolder() : programFolder);
    if (programFolder.isEmpty())
        window.Service().AddRemark(DefaultProgramFolderRemark(window.Service().ProgramFolder()));
    window.show();
    return app.exec();
}

} // namespace tarvel
