#include "config/IniText.h"

#include "base/ByteText.h"
#include "base/Errors.h"

#include <limits>
#include <vector>

namespace tarvel {

namespace {

enum class LineKind { Other, Comment, Section, Key };

// One line of the file as offsets into its content. The ending ("\n" or "\r\n") lies between end and
// next; the last line of a file may have none.
struct IniLine {
    qsizetype begin = 0;
    qsizetype end = 0;
    qsizetype next = 0;
    LineKind kind = LineKind::Other;
    QByteArray name; // section or key name, trimmed
    qsizetype equals = -1; // position of the key line's "="
};

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Profile names compare with ASCII case folding only: bytes above 0x7F must match exactly, whatever
// the code page of the file.
bool sameName(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    }
    return true;
}

qsizetype contentStart(const QByteArray& content) { return content.startsWith("\xEF\xBB\xBF") ? 3 : 0; }

IniLine classify(const QByteArray& content, qsizetype begin, qsizetype end, qsizetype next)
{
    IniLine line;
    line.begin = begin;
    line.end = end;
    line.next = next;
    const QByteArray text = content.mid(begin, end - begin);
    const QByteArray trimmed = TrimBytes(text);
    if (trimmed.startsWith(';')) {
        line.kind = LineKind::Comment;
    } else if (trimmed.startsWith('[') && trimmed.contains(']')) {
        line.kind = LineKind::Section;
        line.name = TrimBytes(trimmed.mid(1, trimmed.indexOf(']') - 1));
    } else if (const qsizetype equals = text.indexOf('='); equals >= 0) {
        line.kind = LineKind::Key;
        line.name = TrimBytes(text.left(equals));
        line.equals = begin + equals;
    }
    return line;
}

// The line that starts at pos, which lies inside the content.
IniLine lineAt(const QByteArray& content, qsizetype pos)
{
    const qsizetype newline = content.indexOf('\n', pos);
    const qsizetype next = newline < 0 ? content.size() : newline + 1;
    qsizetype end = newline < 0 ? content.size() : newline;
    if (newline >= 0 && end > pos && content[end - 1] == '\r')
        --end;
    return classify(content, pos, end, next);
}

std::vector<IniLine> splitLines(const QByteArray& content)
{
    std::vector<IniLine> lines;
    for (qsizetype pos = contentStart(content); pos < content.size(); pos = lines.back().next)
        lines.push_back(lineAt(content, pos));
    return lines;
}

// Where a section's lines lie in the list: its header and the index after its last line.
struct SectionSpan {
    size_t header = 0;
    size_t stop = 0;
};

std::optional<SectionSpan> findSection(const std::vector<IniLine>& lines, const QByteArray& section)
{
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind != LineKind::Section || !sameName(lines[i].name, section))
            continue;
        size_t stop = i + 1;
        while (stop < lines.size() && lines[stop].kind != LineKind::Section)
            ++stop;
        return SectionSpan{i, stop};
    }
    return std::nullopt;
}

std::optional<size_t> findKey(const std::vector<IniLine>& lines, const SectionSpan& span, const QByteArray& key)
{
    for (size_t i = span.header + 1; i < span.stop; ++i) {
        if (lines[i].kind == LineKind::Key && sameName(lines[i].name, key))
            return i;
    }
    return std::nullopt;
}

QByteArray lineEnding(const QByteArray& content, const IniLine& line)
{
    return content.mid(line.end, line.next - line.end);
}

// The ending for lines added where no line to follow has one: the file's first, else CRLF as the
// Windows POS software writes.
QByteArray fileLineEnding(const QByteArray& content, const std::vector<IniLine>& lines)
{
    for (const IniLine& line : lines) {
        if (line.next > line.end)
            return lineEnding(content, line);
    }
    return "\r\n";
}

bool hasLineBreak(const QByteArray& text) { return text.contains('\n') || text.contains('\r'); }

// A name is read trimmed, so one with blanks or control bytes at either end could never be found
// again; nor could a key read as a comment or a section line.
void checkWritable(const QByteArray& section, const QByteArray& key, const QByteArray& value)
{
    if (section.isEmpty() || hasLineBreak(section) || section.contains(']') || TrimBytes(section) != section)
        throw TarvelError("Invalid settings section name \"" + section.toStdString() + "\"");
    if (key.isEmpty() || hasLineBreak(key) || key.contains('=') || TrimBytes(key) != key || key.startsWith(';')
        || key.startsWith('['))
        throw TarvelError("Invalid settings key name \"" + key.toStdString() + "\"");
    if (hasLineBreak(value))
        throw TarvelError("The value of " + key.toStdString() + " must not contain a line break");
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    const char lower = asciiLower(c);
    if (lower >= 'a' && lower <= 'f')
        return lower - 'a' + 10;
    return -1;
}

// Digits of the given base, as a magnitude no larger than limit; empty optional otherwise.
std::optional<qint64> parseMagnitude(const QByteArray& digits, int base, qint64 limit)
{
    if (digits.isEmpty())
        return std::nullopt;
    qint64 magnitude = 0;
    for (char c : digits) {
        const int digit = hexDigit(c);
        if (digit < 0 || digit >= base)
            return std::nullopt;
        magnitude = magnitude * base + digit;
        if (magnitude > limit)
            return std::nullopt;
    }
    return magnitude;
}

} // namespace

std::optional<QByteArray> FindIniValue(const QByteArray& content, const QByteArray& section, const QByteArray& key)
{
    // One line at a time, none kept: a read takes no memory beyond the file's own bytes.
    bool inSection = false;
    for (qsizetype pos = contentStart(content); pos < content.size();) {
        const IniLine line = lineAt(content, pos);
        pos = line.next;
        if (line.kind == LineKind::Section) {
            if (inSection)
                return std::nullopt; // the first section of the name ended without the key
            inSection = sameName(line.name, section);
        } else if (inSection && line.kind == LineKind::Key && sameName(line.name, key)) {
            QByteArray value = TrimBytes(content.mid(line.equals + 1, line.end - line.equals - 1));
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
                value = value.mid(1, value.size() - 2);
            return value.left(kIniValueLimit);
        }
    }
    return std::nullopt;
}

QByteArray SetIniValue(const QByteArray& content, const QByteArray& section, const QByteArray& key,
                       const QByteArray& value)
{
    checkWritable(section, key, value);
    const std::vector<IniLine> lines = splitLines(content);
    const std::optional<SectionSpan> span = findSection(lines, section);

    if (!span) {
        const QByteArray ending = fileLineEnding(content, lines);
        QByteArray result = content;
        if (!result.isEmpty() && !result.endsWith('\n'))
            result += ending;
        return result + '[' + section + ']' + ending + key + '=' + value + ending;
    }

    if (const std::optional<size_t> keyLine = findKey(lines, *span, key)) {
        // The key keeps its spelling and the spacing around "=" as written by hand; the old value goes.
        // A value that starts with blanks of its own brings its spacing along: kept as well, the blanks
        // would grow by the old ones at every save.
        const IniLine& line = lines[*keyLine];
        qsizetype valueStart = line.equals + 1;
        const bool ownSpacing = !value.isEmpty() && uchar(value.front()) <= 0x20;
        while (!ownSpacing && valueStart < line.end && (content[valueStart] == ' ' || content[valueStart] == '\t'))
            ++valueStart;
        return content.left(valueStart) + value + content.mid(line.end);
    }

    // A new key goes after the section's last key line (or its header), ahead of any blank lines and
    // comments that lead into the next section.
    size_t after = span->header;
    for (size_t i = span->header + 1; i < span->stop; ++i) {
        if (lines[i].kind == LineKind::Key)
            after = i;
    }
    const IniLine& line = lines[after];
    const QByteArray newLine = key + '=' + value;
    if (line.next > line.end)
        return content.left(line.next) + newLine + lineEnding(content, line) + content.mid(line.next);
    return content.left(line.end) + fileLineEnding(content, lines) + newLine + content.mid(line.end);
}

std::optional<int> ParseIniInteger(const QByteArray& text)
{
    constexpr qint64 maxInt = std::numeric_limits<int>::max();
    if (text.size() > 2 && (text.startsWith("0x") || text.startsWith("0X"))) {
        const std::optional<qint64> magnitude = parseMagnitude(text.mid(2), 16, maxInt);
        return magnitude ? std::optional<int>(static_cast<int>(*magnitude)) : std::nullopt;
    }
    QByteArray digits = text;
    const bool negative = digits.startsWith('-');
    if (negative || digits.startsWith('+'))
        digits.remove(0, 1);
    int base = 10;
    if (digits.startsWith('$')) {
        base = 16;
        digits.remove(0, 1);
    }
    const std::optional<qint64> magnitude = parseMagnitude(digits, base, negative ? maxInt + 1 : maxInt);
    if (!magnitude)
        return std::nullopt;
    return static_cast<int>(negative ? -*magnitude : *magnitude);
}

} // namespace tarvel
