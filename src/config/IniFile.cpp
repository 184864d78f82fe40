#include "config/IniFile.h"

#include "base/Errors.h"
#include "config/IniText.h"
#include "platform/Files.h"

#include <QFile>
#include <QSaveFile>

#include <utility>

namespace tarvel {

namespace {

QByteArray sizeText(qint64 bytes)
{
    return QByteArray::number(static_cast<double>(bytes) / (1 << 20), 'f', 1) + " MiB (" + QByteArray::number(bytes)
         + " bytes)";
}

} // namespace

std::optional<QByteArray> ReadSettingsBytes(const QString& path, const char* what)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // One byte past the bound tells a file over it, whatever its size says: a device or a file still
    // growing reads on where the size stops.
    QByteArray content;
    while (content.size() <= kSettingsFileLimit) {
        const QByteArray part = file.read(kSettingsFileLimit + 1 - content.size());
        if (part.isEmpty())
            break;
        content += part;
    }
    if (content.size() <= kSettingsFileLimit)
        return content;
    const qint64 size = file.size();
    throw TarvelError(QFile::encodeName(path).toStdString()
                      + (size > kSettingsFileLimit ? " is " + sizeText(size).toStdString() : " holds more than 1 MiB")
                      + ": a " + what + " over 1 MiB is not read");
}

namespace {

[[noreturn]] void throwUnableToWrite(const QString& path)
{
    throw TarvelError("Unable to write to " + QFile::encodeName(path).toStdString());
}

} // namespace

IniFile::IniFile(QString fullPath) : path_(std::move(fullPath)) {}

std::optional<QByteArray> IniFile::ReadValue(const QByteArray& section, const QByteArray& key) const
{
    const std::optional<QByteArray> content = ReadSettingsBytes(path_);
    if (!content)
        return std::nullopt;
    return FindIniValue(*content, section, key);
}

QByteArray IniFile::ReadString(const QByteArray& section, const QByteArray& key, const QByteArray& fallback) const
{
    return ReadValue(section, key).value_or(fallback);
}

int IniFile::ReadInteger(const QByteArray& section, const QByteArray& key, int fallback) const
{
    return ParseIniInteger(ReadString(section, key, QByteArray())).value_or(fallback);
}

void IniFile::WriteString(const QByteArray& section, const QByteArray& key, const QByteArray& value)
{
    WriteStrings({{section, key, value}});
}

void IniFile::WriteStrings(const QList<Entry>& entries)
{
    // A file that exists but cannot be read must not be replaced by one holding only these keys.
    std::optional<QByteArray> content = ReadSettingsBytes(path_);
    if (!content) {
        if (QFile::exists(path_))
            throwUnableToWrite(path_);
        content = QByteArray();
    }
    QByteArray updated = *content;
    for (const Entry& entry : entries)
        updated = SetIniValue(updated, entry.section, entry.key, entry.value);

    // Qt 6.4's commit() renames the temporary file over the original even when flushing it failed (a
    // full disk): flush first and look at the error, so a torn file never replaces a whole one.
    const bool made = !QFile::exists(path_);
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly))
        throwUnableToWrite(path_);
    if (file.write(updated) != updated.size() || !file.flush() || file.error() != QFileDevice::NoError) {
        file.cancelWriting();
        throwUnableToWrite(path_);
    }
    if (!file.commit())
        throwUnableToWrite(path_);
    // A file saved anew keeps its mode; one made here is the group's to change too, as the registry is.
    if (made)
        MakeGroupWritable(path_);
}

} // namespace tarvel
