// The settings file's reader and writer on any file content: a key written reads back as its value reads,
// every other key reads as before, no other line changes, and the result is a file the writer leaves
// alone when given the same value again.

#include "FuzzInput.h"
#include "base/Errors.h"
#include "config/IniText.h"

#include <QList>

#include <utility>

using namespace tarvel;

namespace {

// The section and key names a reader could be asked for: those of the key lines, each with the
// section it stands in.
QList<std::pair<QByteArray, QByteArray>> KeysOf(const QByteArray& content)
{
    QList<std::pair<QByteArray, QByteArray>> keys;
    QByteArray section;
    for (QByteArray line : content.split('\n')) {
        line = line.trimmed();
        if (line.startsWith('[') && line.contains(']'))
            section = line.mid(1, line.indexOf(']') - 1);
        else if (line.contains('=') && !line.startsWith(';'))
            keys.append({section, line.left(line.indexOf('=')).trimmed()});
    }
    return keys;
}

bool SameName(const QByteArray& a, const QByteArray& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::Input in(data, size);
    const QByteArray section = in.field();
    const QByteArray key = in.field();
    const QByteArray value = in.field();
    const QByteArray content = in.rest();

    QByteArray written;
    try {
        written = SetIniValue(content, section, key, value);
    } catch (const TarvelError&) {
        return 0; // a name or value that could not be read back as written: refused, nothing written
    }
    // Read back as the reader reads any value: blanks around it and one pair of quotes dropped.
    FUZZ_CHECK(FindIniValue(written, section, key) == FindIniValue("[s]\nk=" + value, "s", "k"));
    for (const auto& [s, k] : KeysOf(content)) {
        if (SameName(s.trimmed(), section.trimmed()) && SameName(k, key.trimmed()))
            continue;
        FUZZ_CHECK(FindIniValue(written, s, k) == FindIniValue(content, s, k));
    }
    // Only the key's own line changes, or one line (and perhaps a section line) is added.
    const QList<QByteArray> before = content.split('\n');
    const QList<QByteArray> after = written.split('\n');
    FUZZ_CHECK(after.size() >= before.size() && after.size() <= before.size() + 3);
    qsizetype kept = 0;
    for (const QByteArray& line : before)
        kept += after.contains(line) ? 1 : 0;
    FUZZ_CHECK(kept >= before.size() - 1);
    FUZZ_CHECK(SetIniValue(written, section, key, value) == written);
    return 0;
}
