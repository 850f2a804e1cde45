#pragma once
// The statements of a member's own lists, as the client sends them (reduced
// to their shapes, protocol/StatementShapes.h): the task list, the project
// list and the reminder's two counts. The lists bring them up to date in
// memory; a storage may make their order total, so that memory can follow it.

#include <utility>
#include <vector>

namespace appserver {

enum class ListTest { Equals, NotEquals, Like };

struct OwnListShape {
    const char *shape;
    const char *table;
    // Rows meeting all conditions of one group, the conditions in the order
    // their literals stand.
    std::vector<std::vector<std::pair<ListTest, const char *>>> anyOf;
    const char *descendingBy; // null: no order
};

inline const std::vector<OwnListShape> &ownListShapes() {
    static const std::vector<OwnListShape> shapes = {
        {"Select * From Task where TaskDemander=? or TaskPerformer like ? or TaskCCList like ? "
         "order by TaskCompleteTime desc",
         "Task",
         {{{ListTest::Equals, "TaskDemander"}},
          {{ListTest::Like, "TaskPerformer"}},
          {{ListTest::Like, "TaskCCList"}}},
         "TaskCompleteTime"},
        {"Select * From Programe where ProDemander=? or ProPerformer like ? and ProCompleteFlag=? "
         "Order by ProCompleteTime desc",
         "Programe",
         {{{ListTest::Equals, "ProDemander"}},
          {{ListTest::Like, "ProPerformer"}, {ListTest::Equals, "ProCompleteFlag"}}},
         "ProCompleteTime"},
        {"Select * From Programe Where ProPerformer like? and ProCompleteFlag=?",
         "Programe",
         {{{ListTest::Like, "ProPerformer"}, {ListTest::Equals, "ProCompleteFlag"}}},
         nullptr},
        {"Select * From Task Where TaskPerformer like? and TaskCompleteFlag<>?",
         "Task",
         {{{ListTest::Like, "TaskPerformer"}, {ListTest::NotEquals, "TaskCompleteFlag"}}},
         nullptr},
    };
    return shapes;
}

} // namespace appserver
