#pragma once

#include "base/Remark.h"

#include <QByteArray>
#include <QString>

namespace tarvel {

// What the service core shows the operator. The operator window and the headless runner are the two
// fronts; tests use a recording one. Every call happens on the event thread. Box calls are modal in a
// window (the event loop keeps running) and return once the operator has closed the box.
class Front {
public:
    virtual ~Front() = default;

    // Appends one entry, 8-bit text without line end, to the operator log as one line: its control
    // bytes (below 32, and 127) are shown as escapes such as \x0A, so that nothing a terminal or a
    // database sends can write lines of its own. The one way a line reaches any front.
    void appendLog(const QByteArray& line);

    // The general error report: box titled with the application's title, error icon, one OK.
    // The text already has its full stop (GeneralErrorText).
    virtual void showGeneralErrorBox(const QByteArray& text) = 0;

    // A failure that came from outside the operator's doing (a terminal's scan, the listener), reported
    // once the handler that met it has returned: the general error report. A window may hold it back
    // for a moment and fold it with the failures that follow, so that the operator keeps the window.
    virtual void showBackgroundErrorBox(const QByteArray& text) { showGeneralErrorBox(text); }

    // The box of a guarded database step: titled "Error", error icon, one OK.
    virtual void showErrorBox(const QByteArray& text) = 0;

    // A notice titled "Information" with the information icon and one OK.
    virtual void showInformationBox(const QByteArray& text) = 0;

    // A plain notice: titled with the application's title, no icon, one OK.
    virtual void showNoticeBox(const QByteArray& text) = 0;

    // Something the service mended by itself (a lost database connection re-established): no box and
    // no log line; the headless runner prints it as an "info: " line.
    virtual void showNote(const QByteArray& text) { static_cast<void>(text); }

    // A remark on the settings or the store (Remark.h): no box, no log line. The window reads the
    // service's remarks from its state instead, so this does nothing there.
    virtual void showRemark(const Remark& remark) { static_cast<void>(remark); }

protected:
    // Shows one log line as it is: no control byte below 32 in it, and no 127.
    virtual void showLogLine(const QByteArray& line) = 0;
};

} // namespace tarvel
