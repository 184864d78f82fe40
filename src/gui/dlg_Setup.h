#pragma once

#include "gui/dlg_Questions.h"

#include <QByteArray>
#include <QDialog>
#include <QList>

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;
class QTableView;
class QWidget;

namespace tarvel {

class Front;
class IniFile;
class PosConnections;
class RegistryDataset;
class RegistryNavigator;
class RegistryPage;
struct SettingsValues;

// The setup dialog: the host's addresses, every key of "Tarvel.ini", the data file with its connection
// test, and the terminal registry's grid and navigator. Created for one opening, modal, destroyed when
// it closes (see Execute). It works on the main window's objects, which must outlive it.
// The settings are written only by OK after the operator confirms; registry rows are stored the moment
// they are posted, whichever button later closes the dialog.
class TdlgSetup : public QDialog {
    Q_OBJECT
public:
    // Fills every control (FormCreate). The dialog reads and writes "Tarvel.ini" through `settingsFile`,
    // edits the registry's rows through `registry` (the window's data set), tests the POS connections
    // `pos` for the store `storeCode` and asks through `questions`; all must outlive it.
    TdlgSetup(IniFile& settingsFile, RegistryDataset& registry, PosConnections& pos, const QByteArray& storeCode,
              Front& front, QuestionBoxes& questions, QWidget* parent = nullptr);
    ~TdlgSetup() override;

    // The Setup button's action: creates the dialog, shows it modally (the event loop keeps running) and
    // destroys it once it has closed. Current() is the open dialog meanwhile. Its questions are message
    // boxes over the dialog.
    static void Execute(IniFile& settingsFile, RegistryDataset& registry, PosConnections& pos,
                        const QByteArray& storeCode, Front& front, QWidget* parent = nullptr);
    static TdlgSetup* Current();

    void FormCreate();
    void BitBtn1Click(); // OK: the pending-row check, the question, the ten keys written, then Cancel
    void BitBtn3Click(); // browse for the data file
    void BitBtn4Click(); // test that Start's database step will work with the data file shown

protected:
    void done(int result) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildServerPage();
    void buildDataPage();
    void buildClientPage();
    void buildOtherPage();
    SettingsValues shownSettings() const;
    QByteArray shownDataFile() const;

    IniFile& settingsFile_;
    RegistryDataset& dataset_;
    PosConnections& pos_;
    QByteArray storeCode_;
    Front& front_;
    QuestionBoxes& questions_;
    // The Client Setup page's grid and navigator, with their actions.
    RegistryPage* registryPage_ = nullptr;
    // FDB_DATA_FILENAME as read, byte for byte: saved again as it was while the field still shows it.
    QByteArray dataFileRead_;

public:
    // The controls, by the names the operator's documentation uses; each is also its object name.
    QTabWidget* pgcSetup = nullptr;
    QWidget* TabSheet1 = nullptr;
    QWidget* TabSheet2 = nullptr;
    QWidget* TabSheet3 = nullptr;
    QWidget* TabSheet4 = nullptr;
    QLabel* Label1 = nullptr;
    QListWidget* ListBox1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QLabel* Label3 = nullptr;
    QCheckBox* CheckBoxVexaXE = nullptr;
    QComboBox* ComboBoxPriceLevel = nullptr;
    QLineEdit* Edit3 = nullptr;
    QPushButton* BitBtn3 = nullptr;
    QPushButton* BitBtn4 = nullptr;
    QFileDialog* OpenDialog = nullptr;
    QLabel* Label4 = nullptr;
    RegistryNavigator* wwDBNavigator1 = nullptr;
    QTableView* wwDBGrid1 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    QCheckBox* cbAutoStart = nullptr;
    QCheckBox* cbStoreSHELF = nullptr;
    QCheckBox* cbPluBarcode = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* edtCurrSymbol = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;
};

} // namespace tarvel
