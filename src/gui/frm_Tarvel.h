#pragma once

#include "base/Front.h"
#include "base/Remark.h"
#include "gui/ElidedLabel.h"
#include "gui/WrappedLabel.h"
#include "platform/LocalAddresses.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QPixmap>
#include <QString>
#include <QWidget>

#include <memory>

class QCheckBox;
class QCloseEvent;
class QComboBox;
class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QShowEvent;
class QStatusBar;
class QTimer;

namespace tarvel {

class RegistryDataset;
class SystemClock;
class TarvelService;

// The title of the general error report and of plain notices.
inline constexpr const char* kApplicationTitle = "Tarvel";
// Lines the log view keeps; older ones drop off the top, so months of running cost no more.
inline constexpr int kLogLinesKept = 10000;
// After a box has closed, the failures of terminals wait this long, folded, before the next box: the
// operator has the window meanwhile, long enough to click Stop or Close.
inline constexpr int kErrorBoxPauseMs = 5000;

// The operator window: shows the service's state, carries the operator log and the boxes, and hands
// the operator's actions to the lifecycle core it owns. Every control's object name is its name here.
class TfrmTarvel : public QWidget, public Front {
    Q_OBJECT
public:
    // Builds the controls and runs window creation (FormCreate) for the service in `programFolder`
    // (with its trailing separator); `host` gives the host's name and addresses for Start's lines.
    // Boxes of the creation open before the window is shown.
    explicit TfrmTarvel(const QString& programFolder, HostLookup host = {}, QWidget* parent = nullptr);
    ~TfrmTarvel() override;

    TarvelService& Service() { return *service_; }

    void FormCreate();
    void FormShow();
    void BitBtn1Click(); // Start
    void BitBtn2Click(); // Stop
    void BitBtn3Click(); // Setup: the dialog, or refused while running
    void BitBtn4Click(); // Close: the same rule as the close box

    // Front: the log view and the modal boxes, each over this window (the event loop keeps running).
    void showGeneralErrorBox(const QByteArray& text) override;
    // Folded, shown in the status bar, and told in a box once the window has run freely for a moment
    // (clicks that waited while a scan held the window go first) and the pause after the last box is
    // over: the newest failure, with how many came.
    void showBackgroundErrorBox(const QByteArray& text) override;
    void showErrorBox(const QByteArray& text) override;
    void showInformationBox(const QByteArray& text) override;
    void showNoticeBox(const QByteArray& text) override;

    // The logo in Image1: 96 x 80, drawn here.
    static QPixmap DrawLogo();

    QFrame* Bevel1 = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;
    QPushButton* BitBtn3 = nullptr;
    QPushButton* BitBtn4 = nullptr;
    QPlainTextEdit* MemoLog = nullptr;
    QFrame* Panel1 = nullptr;
    QCheckBox* cbAutoStart = nullptr;
    QCheckBox* CheckBoxVexaXE = nullptr;
    QComboBox* ComboBoxPriceLevel = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* StoreCode = nullptr;
    ElidedLabel* StoreName = nullptr;
    // As wide as its text, and in the Vexa XE layout as the chooser's longest column.
    QLabel* ActivePriceLevel = nullptr;
    // Scans today, terminals connected and, with the status endpoint on, its port: as much of that as
    // the room the other panels leave takes (all of it in its tooltip), so that it never narrows them.
    QLabel* ScanPanel = nullptr;
    // The failures of terminals folded since the last box, while there are any.
    QLabel* FoldedErrorsPanel = nullptr;
    // The first warning or error of the settings and the store, shown only while there is one, cut with
    // "…" to the room left; every remark in its tooltip and in the status bar's.
    ElidedLabel* RemarkPanel = nullptr;
    // Above the status bar, the whole warning while the panel shows it cut.
    WrappedLabel* WarningLine = nullptr;

protected:
    void showLogLine(const QByteArray& line) override;
    void showEvent(QShowEvent* event) override;
    // The close box, the system menu and the platform's close key: refused while the service runs.
    void closeEvent(QCloseEvent* event) override;
    // Enter presses the focused button.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildControls();
    // Puts the window, title bar and borders included, in the middle of its screen.
    void centre();
    // Shows every control as the core has it now.
    void refresh();
    void showRemarks(const Remarks& remarks);
    void showWarningLine();
    void showScanCounts();
    // The width the other panels leave for the scan panel, a remark keeping some room of its own.
    int scanPanelRoom() const;
    // Shows a box and returns once it is closed; the failures folded meanwhile wait for the pause.
    void showBox(int icon, const char* title, const QByteArray& text, const char* name);
    void execBox(int icon, const char* title, const QByteArray& text, const char* name);
    void foldError(const QByteArray& text);
    void armErrorBox(int ms);
    void errorBoxDue();
    // The box of the folded failures: the newest, and how many came.
    void showFoldedErrors();
    void showFoldedCount();

    std::unique_ptr<SystemClock> clock_;
    // One box at a time: while one is open, and for the pause after it, error reports are folded into
    // the next one.
    int boxesOpen_ = 0;
    QByteArray foldedError_; // the newest
    int foldedErrors_ = 0;
    bool foldedSinceBox_ = false; // they came while a box was open or in the pause after one
    bool pausing_ = false;
    QTimer* errorBoxTimer_ = nullptr;
    QElapsedTimer errorBoxArmed_;
    int errorBoxWait_ = 0;
    std::unique_ptr<TarvelService> service_;
    // The registry's rows as the setup dialog's grid edits them; a row left pending lives on here
    // between the dialog's openings, until the next search settles it.
    std::unique_ptr<RegistryDataset> registryDataset_;
    bool shown_ = false;
    // The scan panel follows the counts once a second, not at every scan.
    QTimer* scanPanelTimer_ = nullptr;
};

// The operator window as the program: the application, the window for `programFolder` (empty: the
// executable's folder), the event loop until the window has closed. Returns the loop's exit status.
int RunWindow(int& argc, char** argv, const QString& programFolder);

} // namespace tarvel
