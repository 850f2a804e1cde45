#pragma once
// The four tables and their column order. Column order is part of the
// protocol: rows are inserted without a column list and shown by position.

namespace appserver {

// The only tables a client statement may touch.
inline constexpr const char *kClientTables[] = {"Login", "Programe", "Task", "Notice"};

// The server's journal of changes: clients read it, only the server writes it.
inline constexpr const char *kJournalTable = "solvane_journal";

// Each table's columns in order, as above; unused places are null.
struct ClientTable {
    const char *name;
    const char *columns[11];
};
inline constexpr ClientTable kClientTableColumns[] = {
    {"Login", {"UseName", "PassWord", "Remark"}},
    {"Programe", {"ProId", "ProFrom", "ProAim", "ProContent", "ProDemander", "ProPerformer",
                  "ProCreateTime", "ProCompleteTime", "ProCompleteFlag", "ProTask", "ProList"}},
    {"Task", {"TaskId", "TaskContent", "TaskDemander", "TaskPerformer", "TaskCreateTime",
              "TaskCompleteTime", "TaskCompleteFlag", "TaskList", "TaskReadTime", "TaskCCList"}},
    {"Notice", {"Content", "Demander", "Performer", "CreateTime"}},
};

} // namespace appserver
