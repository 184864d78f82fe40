#include "gui/dlg_Setup.h"

#include "base/ErrorReport.h"
#include "base/Errors.h"
#include "base/Front.h"
#include "config/IniFile.h"
#include "config/Settings.h"
#include "control/DatabaseHints.h"
#include "data/EDatabaseError.h"
#include "data/PosConnections.h"
#include "gui/ButtonKeys.h"
#include "gui/RegistryDataset.h"
#include "gui/RegistryPage.h"
#include "lookup/PosItemLookups.h"
#include "platform/LocalAddresses.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTabWidget>

namespace tarvel {

namespace {

TdlgSetup* g_current = nullptr;

constexpr int ClientWidth = 792;
constexpr int ClientHeight = 456;
constexpr int PageControlHeight = 409;

// Texts are 8-bit, one byte per character, on screen and in the file alike; only the data file's
// path is kept in the file-name encoding, the bytes that the file system and the database client
// take for a path.
QString Shown(const QByteArray& text) { return QString::fromLatin1(text); }
QByteArray Typed(const QString& text) { return text.toLatin1(); }
QString ShownPath(const QByteArray& path) { return QFile::decodeName(path); }

// The bytes "Tarvel.ini" keeps for the text of a field. A character that they cannot hold is refused,
// naming the field, rather than written as "?".
QByteArray FieldBytes(const QString& text, const char* field, bool path = false)
{
    QByteArray bytes = path ? QFile::encodeName(text) : Typed(text);
    const QString back = path ? ShownPath(bytes) : Shown(bytes);
    if (back == text)
        return bytes;
    qsizetype same = 0;
    while (same < text.size() && same < back.size() && text[same] == back[same])
        ++same;
    const QString character = QString::number(text.mid(same).toUcs4().value(0), 16).toUpper().rightJustified(4, '0');
    throw TarvelError(
        std::string(field) + ": the character U+" + character.toStdString() + " cannot be written "
        + (path ? "in this system's file-name encoding" : "to \"Tarvel.ini\", which holds one byte per character")
        + ". Nothing was saved");
}

// The test button's picture: a database drum with a green tick.
QIcon TestGlyph()
{
    QPixmap pixmap(20, 20);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x30, 0x30, 0x50), 1));
    p.setBrush(QColor(0xe8, 0xc0, 0x40));
    QPainterPath drum;
    drum.moveTo(2, 4);
    drum.lineTo(2, 15);
    drum.arcTo(QRectF(2, 12, 12, 6), 180, 180);
    drum.lineTo(14, 4);
    p.drawPath(drum);
    p.drawEllipse(QRectF(2, 1, 12, 6));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0, 0x90, 0), 2.5));
    p.drawPolyline(QPolygonF({QPointF(9, 13), QPointF(12.5, 17), QPointF(19, 8)}));
    return QIcon(pixmap);
}

template <typename T>
T* Named(T* widget, const char* name)
{
    widget->setObjectName(name);
    return widget;
}

QLabel* MakeLabel(QWidget* page, const char* name, const char* text, int x, int y)
{
    auto* label = Named(new QLabel(text, page), name);
    label->move(x, y);
    label->adjustSize();
    return label;
}

QCheckBox* MakeCheckBox(QWidget* page, const char* name, const char* text, int x, int y)
{
    auto* box = Named(new QCheckBox(text, page), name);
    box->move(x, y);
    box->adjustSize();
    return box;
}

QLineEdit* MakeField(QWidget* page, const char* name, QRect geometry, bool frame)
{
    auto* field = Named(new QLineEdit(page), name);
    field->setGeometry(geometry);
    field->setFrame(frame);
    return field;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text, QRect geometry)
{
    auto* button = Named(new QPushButton(text, parent), name);
    button->setGeometry(geometry);
    // Neither OK nor Cancel answers Enter or Esc on its own.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

} // namespace

TdlgSetup::TdlgSetup(IniFile& settingsFile, RegistryDataset& registry, PosConnections& pos, const QByteArray& storeCode,
                     Front& front, QuestionBoxes& questions, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint),
      settingsFile_(settingsFile),
      dataset_(registry),
      pos_(pos),
      storeCode_(storeCode),
      front_(front),
      questions_(questions)
{
    setObjectName("dlgSetup");
    setWindowTitle("Setup");
    setModal(true);
    setFixedSize(ClientWidth, ClientHeight);

    pgcSetup = Named(new QTabWidget(this), "pgcSetup");
    pgcSetup->setGeometry(0, 0, ClientWidth, PageControlHeight);
    pgcSetup->setDocumentMode(true); // flat tabs
    TabSheet1 = Named(new QWidget, "TabSheet1");
    TabSheet2 = Named(new QWidget, "TabSheet2");
    TabSheet3 = Named(new QWidget, "TabSheet3");
    TabSheet4 = Named(new QWidget, "TabSheet4");
    pgcSetup->addTab(TabSheet1, "Server Setup");
    pgcSetup->addTab(TabSheet2, "FDB Data Setup");
    pgcSetup->addTab(TabSheet3, "Client Setup");
    pgcSetup->addTab(TabSheet4, "Other Setup");
    buildServerPage();
    buildDataPage();
    buildClientPage();
    buildOtherPage();
    // The grid's editor may be open on the page being left: its text goes to the row.
    connect(pgcSetup, &QTabWidget::currentChanged, this, [this] { registryPage_->commitEdit(); });

    BitBtn1 = MakeButton(this, "BitBtn1", "OK", QRect(596, 418, 90, 28));
    BitBtn2 = MakeButton(this, "BitBtn2", "Cancel", QRect(694, 418, 90, 28));
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    BitBtn2->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    connect(BitBtn1, &QPushButton::clicked, this, &TdlgSetup::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TdlgSetup::reject);

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    FormCreate();
}

TdlgSetup::~TdlgSetup()
{
    // The pages go with the children, after this object's own part: no commit on their way out.
    disconnect(pgcSetup, nullptr, this, nullptr);
    if (g_current == this)
        g_current = nullptr;
}

void TdlgSetup::Execute(IniFile& settingsFile, RegistryDataset& registry, PosConnections& pos,
                        const QByteArray& storeCode, Front& front, QWidget* parent)
{
    MessageQuestionBoxes questions;
    QPointer<TdlgSetup> dialog = new TdlgSetup(settingsFile, registry, pos, storeCode, front, questions, parent);
    questions.setParent(dialog);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    g_current = dialog;
    dialog->exec();
    // Closed by its buttons the dialog is gone by now; this covers a dialog closed another way.
    delete dialog.data();
}

TdlgSetup* TdlgSetup::Current() { return g_current; }

// FormClose: the open dialog is no longer current once it has closed. Text still in the grid's cell
// editor goes to its row first, which stays pending in the table as any unposted row does.
void TdlgSetup::done(int result)
{
    registryPage_->commitEdit();
    if (g_current == this)
        g_current = nullptr;
    QDialog::done(result);
}

void TdlgSetup::buildServerPage()
{
    Label1 = MakeLabel(TabSheet1, "Label1", "Your Current IP : ", 24, 28);
    ListBox1 = Named(new QListWidget(TabSheet1), "ListBox1");
    ListBox1->setGeometry(170, 24, 240, 180);
    ListBox1->setFrameShape(QFrame::NoFrame);
    ListBox1->setSelectionMode(QAbstractItemView::NoSelection);
    ListBox1->setFocusPolicy(Qt::NoFocus);
    Label2 = MakeLabel(TabSheet1, "Label2", "TCP Port : ", 24, 228);
    Edit2 = MakeField(TabSheet1, "Edit2", QRect(170, 224, 120, 24), false);
}

void TdlgSetup::buildDataPage()
{
    Label3 = MakeLabel(TabSheet2, "Label3", "FDB Data FileName : ", 24, 28);
    Edit3 = MakeField(TabSheet2, "Edit3", QRect(170, 24, 520, 24), false);
    BitBtn3 = MakeButton(TabSheet2, "BitBtn3", QString(), QRect(700, 22, 28, 28));
    BitBtn3->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    BitBtn3->setToolTip("Browse for the data file");
    BitBtn4 = MakeButton(TabSheet2, "BitBtn4", QString(), QRect(734, 22, 28, 28));
    BitBtn4->setIcon(TestGlyph());
    BitBtn4->setIconSize(QSize(20, 20));
    BitBtn4->setToolTip("Test the connection to the data file");
    connect(BitBtn3, &QPushButton::clicked, this, &TdlgSetup::BitBtn3Click);
    connect(BitBtn4, &QPushButton::clicked, this, &TdlgSetup::BitBtn4Click);

    CheckBoxVexaXE = MakeCheckBox(TabSheet2, "CheckBoxVexaXE", "Vexa XE", 170, 72);
    ComboBoxPriceLevel = Named(new QComboBox(TabSheet2), "ComboBoxPriceLevel");
    ComboBoxPriceLevel->setGeometry(280, 68, 200, 26);
    ComboBoxPriceLevel->setEditable(true);
    ComboBoxPriceLevel->setInsertPolicy(QComboBox::NoInsert);
    for (const char* column : kPriceColumnChoices)
        ComboBoxPriceLevel->addItem(column);

    OpenDialog = Named(new QFileDialog(this), "OpenDialog");
    OpenDialog->setFileMode(QFileDialog::ExistingFile);
    OpenDialog->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog->setNameFilters({"Firebird Database (*.fdb)", "Interbase Database (*.gdb)"});
    OpenDialog->selectNameFilter("Firebird Database (*.fdb)");
}

void TdlgSetup::buildClientPage()
{
    Label4 = MakeLabel(TabSheet3, "Label4", "Client IP Address : ", 24, 16);
    registryPage_ = new RegistryPage(TabSheet3, dataset_, front_, questions_, this);
    wwDBNavigator1 = registryPage_->navigator();
    wwDBGrid1 = registryPage_->grid();
}

void TdlgSetup::buildOtherPage()
{
    CheckBox1 = MakeCheckBox(TabSheet4, "CheckBox1", "EAN 8 Always Trim Digits", 24, 24);
    CheckBox2 = MakeCheckBox(TabSheet4, "CheckBox2", "EAN 13 Always Trim Digits", 24, 56);
    cbAutoStart = MakeCheckBox(TabSheet4, "cbAutoStart", "Auto Start", 24, 88);
    cbStoreSHELF = MakeCheckBox(TabSheet4, "cbStoreSHELF", "Send -> StoreSHELF", 24, 120);
    cbPluBarcode = MakeCheckBox(TabSheet4, "cbPluBarcode", "Send -> SKU+Barcode", 24, 152);
    Label5 = MakeLabel(TabSheet4, "Label5", "Currency Symbol", 24, 200);
    edtCurrSymbol = MakeField(TabSheet4, "edtCurrSymbol", QRect(170, 196, 100, 24), true);
}

void TdlgSetup::FormCreate()
{
    pgcSetup->setCurrentWidget(TabSheet1);
    ListBox1->clear();
    for (const QByteArray& address : LocalAddresses())
        ListBox1->addItem(Shown(address));

    const SettingsValues values = ReadDialogSettings(settingsFile_);
    Edit2->setText(Shown(values.TcpPort));
    dataFileRead_ = values.DataFileName;
    Edit3->setText(ShownPath(values.DataFileName));
    CheckBoxVexaXE->setChecked(values.ExtendedLayout);
    // Also a text that is none of the items: the operator may have typed it.
    ComboBoxPriceLevel->setCurrentText(Shown(values.PriceColumn));
    CheckBox1->setChecked(values.TrimEan8Digits);
    CheckBox2->setChecked(values.TrimEan13Digits);
    cbAutoStart->setChecked(values.AutoStart);
    cbStoreSHELF->setChecked(values.SendStoreShelf);
    cbPluBarcode->setChecked(values.SendSkuBarcode);
    edtCurrSymbol->setText(Shown(values.CurrencySymbol));
}

void TdlgSetup::BitBtn1Click()
{
    // What is still typed in the grid's cell editor belongs to the row being checked here.
    if (!registryPage_->commitEdit())
        return;
    if (dataset_.IsEditing()) {
        front_.showNoticeBox("Please save your Client IP Address.");
        pgcSetup->setCurrentWidget(TabSheet3);
        return;
    }
    try {
        // A text that the file cannot hold is refused before the question: nothing is written then.
        const SettingsValues values = shownSettings();
        // The box's close button goes on like Yes; only No (Esc included) stops the save.
        if (questions_.askYesNo("Are you sure want to [SAVE] ?") == QuestionBoxes::Answer::No)
            return;
        WriteAllSettings(settingsFile_, values);
    } catch (const std::exception& error) {
        ReportErrorNow(front_, error.what());
        return;
    }
    BitBtn2->click();
}

// The ten settings as the controls show them, texts unchanged; throws TarvelError for a text that
// the file cannot hold.
SettingsValues TdlgSetup::shownSettings() const
{
    SettingsValues values;
    values.TcpPort = FieldBytes(Edit2->text(), "TCP Port");
    values.DataFileName = shownDataFile();
    values.ExtendedLayout = CheckBoxVexaXE->isChecked();
    values.PriceColumn = FieldBytes(ComboBoxPriceLevel->currentText(), "Vexa XE price column");
    values.TrimEan8Digits = CheckBox1->isChecked();
    values.TrimEan13Digits = CheckBox2->isChecked();
    values.AutoStart = cbAutoStart->isChecked();
    values.SendStoreShelf = cbStoreSHELF->isChecked();
    values.SendSkuBarcode = cbPluBarcode->isChecked();
    values.CurrencySymbol = FieldBytes(edtCurrSymbol->text(), "Currency Symbol");
    return values;
}

// The data file's path in the file-name encoding; the bytes read while the field still shows them,
// so that a path written by hand in another encoding survives a save.
QByteArray TdlgSetup::shownDataFile() const
{
    if (Edit3->text() == ShownPath(dataFileRead_))
        return dataFileRead_;
    return FieldBytes(Edit3->text(), "FDB Data FileName", true);
}

void TdlgSetup::BitBtn3Click()
{
    const QString path = questions_.chooseFile(*OpenDialog);
    if (!path.isEmpty())
        Edit3->setText(QDir::toNativeSeparators(path));
}

// Opens what Start's database step would open with the settings shown: the data file, and in the
// standard layout "POSSYS.FDB" beside it and the store's price level; all closed again before the box.
void TdlgSetup::BitBtn4Click()
{
    DatabaseCredentials credentials;
    QByteArray path;
    try {
        // Read here, inside the guard: the file may have grown past what a settings file may hold.
        credentials = ReadDatabaseCredentials(settingsFile_);
        // The test waits for the server no longer than a scan would.
        pos_.SetQueryTimeout(ReadQueryTimeout(settingsFile_));
        path = shownDataFile();
        // Start will work, and so will the scans: each query of the layout shown runs once.
        ServiceSettings settings;
        settings.SendStoreShelf = cbStoreSHELF->isChecked();
        const bool extended = CheckBoxVexaXE->isChecked();
        Remarks warnings;
        pos_.CheckPosConnections(path, extended, FieldBytes(ComboBoxPriceLevel->currentText(), "Vexa XE price column"),
                                 storeCode_, credentials, {}, [&](const QByteArray& level) {
                                     warnings = ProbeScanQueries(pos_, settings, extended, level, storeCode_).warnings;
                                 });
        QByteArray notice = "FDB data connection checked.OK !\n\r" + path;
        for (const Remark& warning : warnings)
            notice += "\n\n" + warning.text;
        front_.showInformationBox(notice);
    } catch (const EDatabaseError& error) {
        front_.showErrorBox(ExplainDatabaseError(error.what(), credentials, path));
    } catch (const std::exception& error) {
        ReportErrorNow(front_, error.what());
    }
}

void TdlgSetup::keyPressEvent(QKeyEvent* event)
{
    // Esc closes nothing: the dialog closes by OK, Cancel (BitBtn2) or its close box only.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    // Nor a default button: Enter presses the focused button only.
    if (PressFocusedButton(*this, event))
        return;
    QDialog::keyPressEvent(event);
}

} // namespace tarvel
