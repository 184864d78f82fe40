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
#include "gui/RegistryNavigator.h"
#include "lookup/PosItemLookups.h"
#include "platform/LocalAddresses.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSqlTableModel>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

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
    const QByteArray bytes = path ? QFile::encodeName(text) : Typed(text);
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

// The grid's editor takes at most the 40 characters an address field holds, and says when the
// operator first changes its text.
class AddressDelegate : public QStyledItemDelegate {
public:
    AddressDelegate(QObject* parent, std::function<void()> typed)
        : QStyledItemDelegate(parent), typed_(std::move(typed))
    {
    }
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* line = qobject_cast<QLineEdit*>(editor)) {
            line->setMaxLength(RegistryAddressWidth);
            connect(line, &QLineEdit::textEdited, this, typed_);
        }
        return editor;
    }

private:
    std::function<void()> typed_;
};

// The registry's grid, which hands out the cell editor it has open (on the current cell) and closes
// it without storing its text.
class RegistryGrid : public QTableView {
public:
    using QTableView::QTableView;
    QLineEdit* openEditor() const { return qobject_cast<QLineEdit*>(indexWidget(currentIndex())); }
    void dropEditor()
    {
        if (QLineEdit* editor = openEditor())
            closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
};

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
    connect(pgcSetup, &QTabWidget::currentChanged, this, [this] { guarded([this] { commitGridEdit(); }); });

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
    guarded([this] { commitGridEdit(); });
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
    buildNavigator(TabSheet3);

    wwDBGrid1 = Named(new RegistryGrid(TabSheet3), "wwDBGrid1");
    wwDBGrid1->setGeometry(24, 76, 440, 290);
    wwDBGrid1->verticalHeader()->hide();
    wwDBGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    wwDBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    wwDBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    wwDBGrid1->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                               | QAbstractItemView::AnyKeyPressed);
    wwDBGrid1->setItemDelegate(new AddressDelegate(wwDBGrid1, [this] { startTyping(); }));
    wwDBGrid1->installEventFilter(this);
    if (QSqlTableModel* model = dataset_.model()) {
        wwDBGrid1->setModel(model);
        wwDBGrid1->setColumnHidden(RegistryIdColumn, true);
        wwDBGrid1->setColumnWidth(RegistryAddressColumn,
                                  wwDBGrid1->fontMetrics().horizontalAdvance('0') * RegistryAddressWidth + 8);
        connect(wwDBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &TdlgSetup::gridRowChosen);
    }
    connect(&dataset_, &RegistryDataset::changed, this, [this] {
        updateNavigator();
        showCurrentRow();
    });
    // The refusal arrives from inside the view's commit; the box opens once the view is done.
    connect(&dataset_, &RegistryDataset::editRefused, this, &TdlgSetup::editRefused, Qt::QueuedConnection);
    updateNavigator();
    showCurrentRow();
}

void TdlgSetup::buildNavigator(QWidget* page)
{
    wwDBNavigator1 = new RegistryNavigator(page);
    wwDBNavigator1->move(24, 40);
    using Button = RegistryNavigator::Button;
    const auto onClick = [this](Button which, std::function<void()> action) {
        connect(wwDBNavigator1->button(which), &QToolButton::clicked, this, [this, action] { navigate(action); });
    };
    onClick(Button::First, [this] { dataset_.First(); });
    onClick(Button::PriorPage, [this] { dataset_.PriorPage(); });
    onClick(Button::Prior, [this] { dataset_.Prior(); });
    onClick(Button::Next, [this] { dataset_.Next(); });
    onClick(Button::NextPage, [this] { dataset_.NextPage(); });
    onClick(Button::Last, [this] { dataset_.Last(); });
    onClick(Button::Insert, [this] {
        dataset_.Insert();
        editCurrentRow();
    });
    onClick(Button::Delete, [this] { askDelete(); });
    onClick(Button::Edit, [this] {
        dataset_.Edit();
        editCurrentRow();
    });
    onClick(Button::Post, [this] { dataset_.Post(); });
    // Cancel drops what is typed as well.
    connect(wwDBNavigator1->button(Button::Cancel), &QToolButton::clicked, this, [this] {
        static_cast<RegistryGrid*>(wwDBGrid1)->dropEditor();
        guarded([this] { dataset_.Cancel(); });
    });
    onClick(Button::Refresh, [this] { dataset_.Refresh(); });
    onClick(Button::SaveBookmark, [this] {
        dataset_.SaveBookmark();
        updateNavigator();
    });
    onClick(Button::RestoreBookmark, [this] { dataset_.RestoreBookmark(); });
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
    if (!guarded([this] { commitGridEdit(); }))
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

bool TdlgSetup::guarded(const std::function<void()>& action)
{
    try {
        action();
        return true;
    } catch (const TarvelError& error) {
        // Refusals of the row's text and the engine's failures alike: the operator fixes the row.
        front_.showErrorBox(error.what());
    } catch (const std::exception& error) {
        ReportErrorNow(front_, error.what());
    }
    return false;
}

void TdlgSetup::navigate(const std::function<void()>& action)
{
    guarded([&] {
        commitGridEdit();
        action();
    });
}

// The navigator's buttons take no focus, so a cell editor stays open while they act: its text goes
// to its row first. Refused, the editor stays open with the text, and the refusal is thrown.
void TdlgSetup::commitGridEdit()
{
    auto* grid = static_cast<RegistryGrid*>(wwDBGrid1);
    const QLineEdit* editor = grid->openEditor();
    if (!editor)
        return;
    const int row = grid->currentIndex().row();
    const QByteArray typed = Typed(editor->text());
    if (typed != dataset_.AddressAt(row))
        dataset_.SetAddressAt(row, typed);
    grid->dropEditor();
}

// After Insert or Edit the row's cell is open for typing.
void TdlgSetup::editCurrentRow()
{
    if (!wwDBGrid1->model() || dataset_.RecNo() < 0)
        return;
    showCurrentRow();
    wwDBGrid1->edit(wwDBGrid1->model()->index(dataset_.RecNo(), RegistryAddressColumn));
}

// The first key typed in a cell starts the edit of its row, so that Post and Cancel are on at once
// and OK knows that a row is being typed.
void TdlgSetup::startTyping()
{
    if (dataset_.IsEditing() || wwDBGrid1->currentIndex().row() != dataset_.RecNo())
        return;
    guarded([this] { dataset_.Edit(); });
}

void TdlgSetup::askDelete()
{
    if (questions_.askOkCancel("Delete record?") != QuestionBoxes::Answer::Ok)
        return;
    guarded([this] { dataset_.Delete(); });
}

void TdlgSetup::updateNavigator() { wwDBNavigator1->follow(dataset_); }

// The grid follows the dataset's current row.
void TdlgSetup::showCurrentRow()
{
    if (!wwDBGrid1->model() || !wwDBGrid1->selectionModel())
        return;
    const int row = dataset_.RecNo();
    if (row < 0 || wwDBGrid1->currentIndex().row() == row)
        return;
    followingDataset_ = true;
    wwDBGrid1->setCurrentIndex(wwDBGrid1->model()->index(row, RegistryAddressColumn));
    followingDataset_ = false;
}

// The grid's current row changed. That happens also inside the dataset's own work (rows removed or
// read again), where moving the dataset would re-enter it; so the move waits for the next turn of the
// event loop, when the dataset has settled and has put the grid on its row again if it moved itself.
void TdlgSetup::gridRowChosen()
{
    if (followingDataset_ || gridMovePending_)
        return;
    gridMovePending_ = true;
    QTimer::singleShot(0, this, &TdlgSetup::followGrid);
}

// The operator picked a row: the dataset moves there, ending a pending edit first. When that is
// refused the grid goes back to the row still being edited.
void TdlgSetup::followGrid()
{
    gridMovePending_ = false;
    const int row = wwDBGrid1->currentIndex().row();
    if (row < 0 || row == dataset_.RecNo() || !dataset_.IsOpen())
        return;
    guarded([this, row] { dataset_.MoveTo(row); });
    showCurrentRow();
}

void TdlgSetup::editRefused(const QByteArray& message, bool databaseError)
{
    (void)databaseError; // both kinds ask the operator to fix the row
    front_.showErrorBox(message);
}

void TdlgSetup::keyPressEvent(QKeyEvent* event)
{
    // The dialog has no cancel button: Esc does not close it.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    // Nor a default button: Enter presses the focused button only.
    if (PressFocusedButton(*this, event))
        return;
    QDialog::keyPressEvent(event);
}

// The grid's keyboard: Insert starts a new row, Ctrl+Delete deletes after the question, Esc drops the
// pending changes of the row.
bool TdlgSetup::eventFilter(QObject* watched, QEvent* event)
{
    // An open cell editor has the keyboard itself; these reach the grid only between edits.
    if (watched == wwDBGrid1 && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Insert && key->modifiers() == Qt::NoModifier) {
            if (guarded([this] { dataset_.Insert(); }))
                editCurrentRow();
            return true;
        }
        if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::ControlModifier) {
            if (!dataset_.IsEmpty())
                askDelete();
            return true;
        }
        if (key->key() == Qt::Key_Escape && dataset_.IsEditing()) {
            guarded([this] { dataset_.Cancel(); });
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace tarvel
