#include "base/ErrorReport.h"

#include "base/Errors.h"
#include "base/Front.h"

#include <QCoreApplication>
#include <QTimer>

namespace tarvel {

void ReportErrorLater(Front& front, const std::string& message)
{
    const QByteArray text = QByteArray::fromStdString(GeneralErrorText(message));
    QTimer::singleShot(0, QCoreApplication::instance(), [&front, text] { front.showBackgroundErrorBox(text); });
}

void ReportErrorNow(Front& front, const std::string& message)
{
    front.showGeneralErrorBox(QByteArray::fromStdString(GeneralErrorText(message)));
}

} // namespace tarvel
