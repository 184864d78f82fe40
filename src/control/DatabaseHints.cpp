#include "control/DatabaseHints.h"

#include <cctype>

namespace tarvel {

namespace {

QByteArray LoginHint(const DatabaseCredentials& credentials)
{
    const QByteArray password = credentials.Password
                                  ? QByteArray("with the password of FDB_PASSWORD")
                                  : QByteArray("with the fixed default password (FDB_PASSWORD sets another)");
    if (credentials.User)
        return "The user tried is \"" + *credentials.User + "\", from FDB_USER in [FDB_DATA_SETUP] of Tarvel.ini, "
             + password + ".";
    return "The user tried is SYSDBA, the fixed default user, " + password
         + ". FDB_USER and FDB_PASSWORD in [FDB_DATA_SETUP] of Tarvel.ini set the store's own.";
}

} // namespace

bool IsEmbeddedPath(const QByteArray& dataFile)
{
    const qsizetype colon = dataFile.indexOf(':');
    return colon < 0 || (colon == 1 && std::isalpha(static_cast<unsigned char>(dataFile[0])));
}

QByteArray ExplainDatabaseError(const QByteArray& message, const DatabaseCredentials& credentials,
                                const QByteArray& dataFile)
{
    // Without its embedded engine the client tries a plain path on a server at localhost instead.
    if (!dataFile.isEmpty() && IsEmbeddedPath(dataFile)
        && message.contains("Unable to complete network request to host \"localhost\""))
        return message + "\nThe data file " + dataFile
             + " is a plain path, which the embedded Firebird engine opens, and that engine is not installed "
               "here: install the package " TARVEL_ENGINE_PACKAGE ", or give the file as server:path.";
    if (message.contains("Your user name and password are not defined"))
        return message + '\n' + LoginHint(credentials);
    if (message.contains("Database already opened with engine instance, incompatible with current"))
        return message
             + "\nAnother program has the data file open without the database server: is another "
               "Tarvel running on this folder?";
    return message;
}

} // namespace tarvel
