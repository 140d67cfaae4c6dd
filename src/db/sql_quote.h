#pragma once
// The one way a value enters SQL text. Every value placed between single
// quotes goes through sqlEscape; every value placed bare goes through sqlNumber.

#include <QString>

namespace velmar {

// The text to put between two single quotes so that the server reads back
// exactly `value`, whatever it holds (quotes, backslashes, NUL, any script).
// With NO_BACKSLASH_ESCAPES the server takes backslashes literally, so only
// quotes are doubled, and a NUL, which no literal can then hold, is dropped.
QString sqlEscape(const QString& value, bool noBackslashEscapes);

// A value the SQL text places bare, as a number: written as it is when it is a
// plain decimal number, otherwise as a quoted literal, so that a non-numeric
// value can never become SQL.
QString sqlNumber(const QString& value, bool noBackslashEscapes);

} // namespace velmar
