#pragma once
// The one table of the server's refusal codes in the member's words.

#include <QString>

namespace RefusalTexts {

// The Chinese text for a code the server gives; empty for an unknown code.
QString of(const QString &code);

} // namespace RefusalTexts
