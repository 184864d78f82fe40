#pragma once

#include "config/dlg_Questions.h"

#include <QByteArray>
#include <QDialog>
#include <QList>

#include <functional>

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
class QToolButton;
class QWidget;

namespace tarvel {

class Database;
class Front;
class IniFile;
class RegistryDataset;
struct SettingsValues;
class TerminalRegistry;

// The setup dialog: the host's addresses, every key of "Tarvel.ini", the data file with its connection
// test, and the terminal registry's grid and navigator. Created for one opening, modal, destroyed when
// it closes (see Execute). It works on the main window's objects, which must outlive it.
// The settings are written only by OK after the operator confirms; registry rows are stored the moment
// they are posted, whichever button later closes the dialog.
class TdlgSetup : public QDialog {
    Q_OBJECT
public:
    // Fills every control (FormCreate). The dialog reads and writes "Tarvel.ini" through `settingsFile`,
    // edits the registry's data set, tests the data connection `coDataDb` and asks through `questions`;
    // all must outlive it.
    TdlgSetup(IniFile& settingsFile, TerminalRegistry& registry, Database& coDataDb, Front& front,
              QuestionBoxes& questions, QWidget* parent = nullptr);
    ~TdlgSetup() override;

    // The Setup button's action: creates the dialog, shows it modally (the event loop keeps running) and
    // destroys it once it has closed. Current() is the open dialog meanwhile. Its questions are message
    // boxes over the dialog.
    static void Execute(IniFile& settingsFile, TerminalRegistry& registry, Database& coDataDb, Front& front,
                        QWidget* parent = nullptr);
    static TdlgSetup* Current();

    void FormCreate();
    void BitBtn1Click();  // OK: the pending-row check, the question, the ten writes, then Cancel
    void BitBtn3Click();  // browse for the data file
    void BitBtn4Click();  // test the connection to the data file

    // The operator's choice of file in BitBtn3Click: `OpenDialog` modal by default. Tests replace it;
    // it returns the chosen full path, or an empty text when the chooser was cancelled.
    std::function<QString(QFileDialog&)> chooseFile;

protected:
    void done(int result) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildServerPage();
    void buildDataPage();
    void buildClientPage();
    void buildOtherPage();
    void buildNavigator(QWidget* page);
    void updateNavigator();
    void showCurrentRow();
    // Runs a registry action at the handler's edge: refusals and engine errors in the "Error" box,
    // anything else to the general error report.
    void guarded(const std::function<void()>& action);
    void askDelete();
    void gridRowChosen();
    void followGrid();
    void editRefused(const QByteArray& message, bool databaseError);
    SettingsValues shownSettings() const;

    IniFile& settingsFile_;
    TerminalRegistry& registry_;
    RegistryDataset& dataset_;
    Database& coDataDb_;
    Front& front_;
    QuestionBoxes& questions_;
    bool followingDataset_ = false;
    bool gridMovePending_ = false;

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
    QWidget* wwDBNavigator1 = nullptr;
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
    // The navigator's buttons, left to right (First ... RestoreBookmark).
    QToolButton* navigatorButtons[14] = {};
};

} // namespace tarvel
