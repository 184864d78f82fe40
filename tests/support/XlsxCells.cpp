#include "support/XlsxCells.h"

#include <QXmlStreamReader>

#include <zlib.h>

#include <stdexcept>

namespace {

quint32 Little(const QByteArray& bytes, qsizetype at, int size)
{
    if (at < 0 || at + size > bytes.size())
        throw std::runtime_error("the zip ends inside a header");
    quint32 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

QByteArray Inflated(const QByteArray& raw, quint32 size)
{
    QByteArray out(static_cast<qsizetype>(size), '\0');
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
        throw std::runtime_error("inflateInit2 failed");
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.constData()));
    stream.avail_in = static_cast<uInt>(raw.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&stream, Z_FINISH);
    inflateEnd(&stream);
    if (result != Z_STREAM_END || stream.total_out != size)
        throw std::runtime_error("a part does not inflate to its size");
    return out;
}

// The text of every <t> inside the element the reader is at, up to its end.
QString TextsWithin(QXmlStreamReader& xml)
{
    QString text;
    const QString endName = xml.name().toString();
    while (xml.readNext() != QXmlStreamReader::Invalid) {
        if (xml.isEndElement() && xml.name() == endName)
            break;
        if (xml.isStartElement() && xml.name() == u"t")
            text += xml.readElementText();
    }
    return text;
}

} // namespace

QMap<QString, QByteArray> ZipParts(const QByteArray& zip)
{
    const qsizetype end = zip.lastIndexOf(QByteArray("PK\x05\x06", 4));
    if (end < 0)
        throw std::runtime_error("no zip: no end of central directory");
    const quint32 entries = Little(zip, end + 10, 2);
    qsizetype at = Little(zip, end + 16, 4);
    QMap<QString, QByteArray> parts;
    for (quint32 i = 0; i < entries; ++i) {
        if (Little(zip, at, 4) != 0x02014b50)
            throw std::runtime_error("a central directory entry is broken");
        const quint32 method = Little(zip, at + 10, 2);
        const quint32 packed = Little(zip, at + 20, 4);
        const quint32 size = Little(zip, at + 24, 4);
        const quint32 nameLength = Little(zip, at + 28, 2);
        const quint32 local = Little(zip, at + 42, 4);
        const QString name = QString::fromUtf8(zip.mid(at + 46, nameLength));
        at += 46 + nameLength + Little(zip, at + 30, 2) + Little(zip, at + 32, 2);
        const qsizetype data = local + 30 + Little(zip, local + 26, 2) + Little(zip, local + 28, 2);
        const QByteArray raw = zip.mid(data, packed);
        if (method == 0)
            parts.insert(name, raw);
        else if (method == 8)
            parts.insert(name, Inflated(raw, size));
        else
            throw std::runtime_error("a part is compressed by method " + std::to_string(method));
    }
    return parts;
}

QMap<QByteArray, XlsxCell> XlsxFirstSheet(const QByteArray& xlsx)
{
    const QMap<QString, QByteArray> parts = ZipParts(xlsx);
    if (!parts.contains("xl/worksheets/sheet1.xml"))
        throw std::runtime_error("the workbook has no first sheet");
    QList<QString> shared;
    QXmlStreamReader strings(parts.value("xl/sharedStrings.xml"));
    while (!strings.atEnd()) {
        if (strings.readNext() == QXmlStreamReader::StartElement && strings.name() == u"si")
            shared.append(TextsWithin(strings));
    }
    QMap<QByteArray, XlsxCell> cells;
    QXmlStreamReader sheet(parts.value("xl/worksheets/sheet1.xml"));
    while (!sheet.atEnd()) {
        if (sheet.readNext() != QXmlStreamReader::StartElement || sheet.name() != u"c")
            continue;
        const QByteArray reference = sheet.attributes().value("r").toLatin1();
        XlsxCell cell;
        cell.type = sheet.attributes().value("t").toLatin1();
        while (sheet.readNext() != QXmlStreamReader::Invalid && !(sheet.isEndElement() && sheet.name() == u"c")) {
            if (!sheet.isStartElement())
                continue;
            if (sheet.name() == u"f")
                cell.formula = true;
            else if (sheet.name() == u"v")
                cell.text = sheet.readElementText();
            else if (sheet.name() == u"is")
                cell.text = TextsWithin(sheet);
        }
        if (cell.type == "s")
            cell.text = shared.value(cell.text.toInt());
        cells.insert(reference, cell);
    }
    if (sheet.hasError())
        throw std::runtime_error("the sheet's XML: " + sheet.errorString().toStdString());
    return cells;
}
