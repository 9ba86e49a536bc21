// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

// One escaper per output format. Each writes the UTF-8 of size UTF-16 units
// at out, which has room for MaxBytesPerUnit bytes a unit, and returns the
// end; lone surrogates become U+FFFD.
namespace Escape {

constexpr size_t MaxBytesPerUnit = 6;

// Text for a terminal or a text stream: characters that would move the
// cursor, start a control sequence or reorder what is shown go out as
// \n, \t, \r, \xHH (C0 controls, DEL and C1 controls) or \uHHHH (the
// bidirectional embeddings, overrides and isolates).
char *text(char *out, const char16_t *units, qsizetype size);
// The contents of a JSON string: quotes, backslashes and the characters
// that text() escapes, as JSON escapes.
char *json(char *out, const char16_t *units, qsizetype size);
// A JSON string with its quotes, for the JSON writer.
char *jsonQuoted(char *out, const char16_t *units, qsizetype size);
// Text inside a script element of the HTML report, as the report's fields
// and its JSON blocks hold it: what json() escapes, and also '<' (no
// "</script>" can end the element) and '^' (which starts a reference to a
// repeated text in a field), all as \u00HH.
char *html(char *out, const char16_t *units, qsizetype size);

// A whole text for standard error.
QByteArray forTerminal(QStringView text);

} // namespace Escape
