#pragma once

#include <QByteArray>
#include <QString>

namespace tarvel {

// What the service core shows the operator. The operator window and the headless runner are the two
// fronts; tests use a recording one. Every call happens on the event thread. Box calls are modal in a
// window (the event loop keeps running) and return once the operator has closed the box.
class Front {
public:
    virtual ~Front() = default;

    // Appends one line, 8-bit text without line end, to the operator log.
    virtual void appendLog(const QByteArray& line) = 0;

    // The general error report: box titled with the application's title, error icon, one OK.
    // The text already has its full stop (GeneralErrorText).
    virtual void showGeneralError(const QByteArray& text) = 0;

    // The box of a guarded database step: titled "Error", error icon, one OK.
    virtual void showErrorBox(const QByteArray& text) = 0;

    // A notice titled "Information" with the information icon and one OK.
    virtual void showInformation(const QByteArray& text) = 0;

    // A plain notice: titled with the application's title, no icon, one OK.
    virtual void showNotice(const QByteArray& text) = 0;
};

} // namespace tarvel
