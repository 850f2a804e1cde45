#pragma once
// An answer sent as the rows that changed since one the client holds (delta
// encoding, RFC 3229): the client asks with If-None-Match and A-IM naming the
// manipulation; the server answers 226 with IM naming it, Delta-Base the tag
// of the held answer and Rows-Kept "F, B": the new answer is the held one's
// first F rows, the body's rows, then its last B rows.

namespace RowChanges {

inline constexpr const char *kManipulation = "rowdiff";
inline constexpr const char *kDeltaBaseHeader = "Delta-Base";
inline constexpr const char *kRowsKeptHeader = "Rows-Kept";

} // namespace RowChanges
