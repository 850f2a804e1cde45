#pragma once
// Login and display names as a person reads them. Names are stored in
// Unicode NFC, without characters nobody sees or that look like a blank
// (control and format characters, zero-width and no-break spaces, the
// ideographic space, the soft hyphen); display names also without the
// separators the stored lists join names with ("|" between related persons,
// "--" and "---" before a signature). Two names a person could take for one
// another, such as a Latin and a Cyrillic letter that look alike, full-width
// letters or another letter case, have the same likeness.

#include <optional>
#include <string>

namespace appserver {

// Why the name cannot be stored, or nothing when it can.
std::optional<std::string> badLoginName(const std::string &name);
std::optional<std::string> badDisplayName(const std::string &name);

// The confusable skeleton of Unicode TS #39, without regard to letter case:
// equal for names a person could mistake for one another.
std::string nameLikeness(const std::string &name);

} // namespace appserver
