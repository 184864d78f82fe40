#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

// The cells of an .xlsx workbook's first sheet as a spreadsheet program reads them from the file's XML,
// without the library that wrote it: the zip's parts inflated with zlib, the shared strings resolved.
struct XlsxCell {
    QByteArray type; // the cell's t attribute: "s" a shared string, "inlineStr", "str"; empty for a number
    QString text; // the string, or the number as written
    bool formula = false;
};

// Each part of the zip by its name; throws std::runtime_error on bytes that are no zip.
QMap<QString, QByteArray> ZipParts(const QByteArray& zip);
// The first sheet's cells by reference ("A2"); throws std::runtime_error when a part is missing.
QMap<QByteArray, XlsxCell> XlsxFirstSheet(const QByteArray& xlsx);
