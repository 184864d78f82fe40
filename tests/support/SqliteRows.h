#pragma once

// One query on an SQLite file the program wrote (the registry, a backup of it), opened read-only on a
// connection of the test's own: the first column of each row, or a test failure where the file does not
// open or the query is refused.

#include "data/SqliteFile.h"

#include <gtest/gtest.h>

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

namespace tarvel {

inline QStringList SqliteColumn(const QString& file, const QString& sql)
{
    const QString connection = NewSqliteConnectionName("test-rows");
    QStringList values;
    {
        QSqlDatabase db = OpenSqliteFile(connection, file, "ro");
        QSqlQuery rows(db);
        if (!db.isOpen())
            ADD_FAILURE() << file.toStdString() << ": " << db.lastError().text().toStdString();
        else if (!rows.exec(sql))
            ADD_FAILURE() << sql.toStdString() << ": " << rows.lastError().text().toStdString();
        while (rows.next())
            values.append(rows.value(0).toString());
    }
    CloseSqliteConnection(connection);
    return values;
}

} // namespace tarvel
