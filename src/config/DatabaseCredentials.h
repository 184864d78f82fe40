#pragma once

#include <QByteArray>

#include <optional>

namespace tarvel {

// The store's own user and password for the POS database (FDB_USER and FDB_PASSWORD), each only when
// present with a value; an absent one keeps the connection's fixed user or password. Never logged.
struct DatabaseCredentials {
    std::optional<QByteArray> User;
    std::optional<QByteArray> Password;
};

} // namespace tarvel
