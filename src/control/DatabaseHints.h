#pragma once

#include "base/DatabaseAccess.h"

#include <QByteArray>

namespace tarvel {

// The engine's message for a failed attachment, with what the operator needs to act on it added on a
// line of its own: for a refused login, the user that was tried and the settings that set it (never
// the password); for a data file that another process holds embedded, who that may be. Any other
// message comes back as it is.
QByteArray ExplainDatabaseError(const QByteArray& message, const DatabaseCredentials& credentials);

} // namespace tarvel
