#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace tarvel {

// A file's bytes as they are; empty when it cannot be read.
inline QByteArray ReadFileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace tarvel
