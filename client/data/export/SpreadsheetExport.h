#pragma once
// Writes a record set to a spreadsheet file (.xlsx): row 1 empty, the field
// names in row 2, one record per row from row 3, every value as text. Hidden
// columns and empty values leave their cells empty.

#include <QSet>
#include <QString>

class RecordSet;

namespace SpreadsheetExport {

enum class Result {
    Written,
    WriterUnavailable, // the writer could not be set up at all
    Failed,            // the file could not be written (folder, permissions, disk)
};

Result write(const QString &path, const RecordSet &records, const QSet<int> &hiddenColumns = {});

} // namespace SpreadsheetExport
