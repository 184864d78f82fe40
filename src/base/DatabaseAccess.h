#pragma once

#include <QByteArray>

#include <optional>

namespace tarvel {

// What the settings hand the POS database layer, which knows no settings file.

// The store's own user and password for the POS database, each only when present with a value; an
// absent one keeps the connection's fixed user or password. Never logged. `UserOrigin` says where the
// user was read, as a refusal of it names the place.
struct DatabaseCredentials {
    std::optional<QByteArray> User;
    std::optional<QByteArray> Password;
    QByteArray UserOrigin = "the store's own user";
};

// The seconds a step on the POS database may take when nothing sets another; 0 would be no limit.
inline constexpr int kDefaultQueryTimeout = 5;

} // namespace tarvel
