#include "status/NotFoundWorkbook.h"

#include "base/Errors.h"
#include "status/SafeText.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <xlsxwriter.h>

namespace tarvel {

namespace {

lxw_datetime LocalDateTime(qint64 msecs)
{
    const QDateTime moment = QDateTime::fromMSecsSinceEpoch(msecs);
    return {moment.date().year(), moment.date().month(),  moment.date().day(),
            moment.time().hour(), moment.time().minute(), static_cast<double>(moment.time().second())};
}

// The first write that failed, in the library's words.
class Writes {
public:
    void operator()(lxw_error error)
    {
        if (error != LXW_NO_ERROR && first_ == LXW_NO_ERROR)
            first_ = error;
    }
    lxw_error first() const { return first_; }

private:
    lxw_error first_ = LXW_NO_ERROR;
};

void WriteSheet(lxw_workbook* workbook, const QList<NotFoundTally>& tallies, Writes& write)
{
    lxw_worksheet* sheet = workbook_add_worksheet(workbook, "Not found");
    lxw_format* heading = workbook_add_format(workbook);
    format_set_bold(heading);
    lxw_format* text = workbook_add_format(workbook);
    format_set_num_format(text, "@");
    lxw_format* moment = workbook_add_format(workbook);
    format_set_num_format(moment, "yyyy-mm-dd hh:mm:ss");
    write(worksheet_set_column(sheet, 0, 0, 20, text));
    write(worksheet_set_column(sheet, 1, 1, 8, nullptr));
    write(worksheet_set_column(sheet, 2, 3, 20, moment));
    write(worksheet_set_column(sheet, 4, 4, 16, text));
    const char* const headings[] = {"code", "count", "first_seen", "last_seen", "last_terminal"};
    for (lxw_col_t column = 0; column < 5; ++column)
        write(worksheet_write_string(sheet, 0, column, headings[column], heading));
    worksheet_freeze_panes(sheet, 1, 0);
    lxw_row_t row = 0;
    for (const NotFoundTally& tally : tallies) {
        ++row;
        write(worksheet_write_string(sheet, row, 0, ShownText(tally.code).constData(), text));
        write(worksheet_write_number(sheet, row, 1, static_cast<double>(tally.count), nullptr));
        lxw_datetime first = LocalDateTime(tally.firstSeen);
        lxw_datetime last = LocalDateTime(tally.lastSeen);
        write(worksheet_write_datetime(sheet, row, 2, &first, moment));
        write(worksheet_write_datetime(sheet, row, 3, &last, moment));
        write(worksheet_write_string(sheet, row, 4, ShownText(tally.lastTerminal).constData(), text));
    }
    write(worksheet_autofilter(sheet, 0, 0, row, 4));
}

} // namespace

QByteArray NotFoundXlsx(const QList<NotFoundTally>& tallies)
{
    const QTemporaryDir folder;
    if (!folder.isValid())
        throw TarvelError("No temporary folder for the workbook: " + folder.errorString().toStdString());
    const QString path = folder.filePath("not-found.xlsx");
    QByteArray libraryFolder = QFile::encodeName(folder.path());
    lxw_workbook_options options{};
    options.tmpdir = libraryFolder.data();
    lxw_workbook* workbook = workbook_new_opt(QFile::encodeName(path).constData(), &options);
    if (!workbook)
        throw TarvelError("The workbook could not be made in " + folder.path().toStdString());
    Writes write;
    WriteSheet(workbook, tallies, write);
    // Closing writes the file and frees the workbook, also when a cell was refused.
    const lxw_error closed = workbook_close(workbook);
    if (write.first() != LXW_NO_ERROR || closed != LXW_NO_ERROR)
        throw TarvelError(std::string("The workbook could not be written: ")
                          + lxw_strerror(write.first() != LXW_NO_ERROR ? write.first() : closed));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw TarvelError("The workbook written cannot be read back: " + file.errorString().toStdString());
    return file.readAll();
}

} // namespace tarvel
