#include "data/export/SpreadsheetExport.h"

#include "data/records/RecordSet.h"

#include <xlsxwriter.h>

namespace SpreadsheetExport {

Result write(const QString &path, const RecordSet &records, const QSet<int> &hiddenColumns) {
    const QByteArray fileName = path.toLocal8Bit();
    lxw_workbook *book = workbook_new(fileName.constData());
    if (!book)
        return Result::WriterUnavailable;
    lxw_worksheet *sheet = workbook_add_worksheet(book, nullptr);
    if (!sheet) {
        workbook_close(book);
        return Result::WriterUnavailable;
    }
    bool ok = true;
    auto put = [&](int row, int column, const QString &text) {
        if (text.isEmpty() || hiddenColumns.contains(column))
            return;
        const QByteArray utf8 = text.toUtf8();
        // Zero-based here: row 1 of the sheet is index 0.
        ok = worksheet_write_string(sheet, row - 1, column, utf8.constData(), nullptr) ==
                 LXW_NO_ERROR &&
             ok;
    };
    for (int column = 0; column < records.fieldCount(); ++column)
        put(2, column, records.fieldName(column));
    for (int row = 0; row < records.recordCount(); ++row)
        for (int column = 0; column < records.fieldCount(); ++column)
            put(row + 3, column, records.value(row, column));
    // Closing writes the file and frees the workbook, also when writing fails.
    const lxw_error closed = workbook_close(book);
    return ok && closed == LXW_NO_ERROR ? Result::Written : Result::Failed;
}

} // namespace SpreadsheetExport
