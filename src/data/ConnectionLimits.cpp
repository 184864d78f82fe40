#include "data/ConnectionLimits.h"

#include "data/EDatabaseError.h"

namespace tarvel {

void CheckDatabaseUserName(const QByteArray& user, const QByteArray& origin)
{
    if (user.size() <= kMaxDatabaseUserBytes)
        return;
    QByteArray message = "The database user \"" + user + "\" (" + origin + ") is " + QByteArray::number(user.size())
                       + " bytes long: Firebird 3 takes at most " + QByteArray::number(kMaxDatabaseUserBytes)
                       + ", and a longer one brings its server down. Nothing was sent to the server.";
    if (user.contains(';'))
        message += " A \";\" after a value belongs to the value: write comments on lines of their own.";
    throw EDatabaseError(message.toStdString());
}

void CheckConnectionLimits(const DatabaseCredentials& credentials)
{
    if (credentials.User)
        CheckDatabaseUserName(*credentials.User, credentials.UserOrigin);
}

} // namespace tarvel
