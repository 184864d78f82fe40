#pragma once

#include "base/DatabaseAccess.h"

#include <QByteArray>

namespace tarvel {

// The longest user name Firebird 3 takes, in bytes. The 3.0 server does not refuse a longer one: an
// assertion in its login code aborts the whole server, every other program's attachments with it.
inline constexpr qsizetype kMaxDatabaseUserBytes = 31;

// Refuses what the database server must never be sent, before anything is sent: throws EDatabaseError
// naming where the user was read (`UserOrigin`) and the limit. Start's database step, the setup
// dialog's Test and the command line's check call it. Only the user name is limited: the password
// never leaves this machine (the login proves it without sending it), and a data file path of any
// length is refused by the engine in plain words.
void CheckConnectionLimits(const DatabaseCredentials& credentials);

// The same rule for any connection's user name, `origin` telling where it came from.
void CheckDatabaseUserName(const QByteArray& user, const QByteArray& origin);

} // namespace tarvel
