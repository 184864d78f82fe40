#pragma once

#include "base/DatabaseAccess.h"

#include <QByteArray>

namespace tarvel {

// The engine's message for a failed attachment, with what the operator needs to act on it added on a
// line of its own: for a refused login, the user that was tried and the settings that set it (never
// the password); for a data file that another process holds embedded, who that may be; for a plain path
// (`dataFile`) that the client could only try on a server at localhost, that the embedded engine is
// missing and which package brings it. Any other message comes back as it is.
QByteArray ExplainDatabaseError(const QByteArray& message, const DatabaseCredentials& credentials,
                                const QByteArray& dataFile = {});

// Whether Firebird opens `dataFile` itself (embedded) rather than through a server: no "host:" before the
// path (a drive letter such as "C:" is part of the path).
bool IsEmbeddedPath(const QByteArray& dataFile);

} // namespace tarvel
