#pragma once
// The statements every member's client sends most often, composed by the
// client's own builders: the two lists at each reload, the notice panel and
// the reminder's two counts.

#include <QString>

#include <utility>
#include <vector>

namespace HotStatements {

using Labelled = std::vector<std::pair<const char *, QString>>;

Labelled forMember(const QString &displayName);

} // namespace HotStatements
