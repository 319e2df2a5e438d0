// TerminalText.h - text from a model made safe to print: a name or id may hold any
// byte, and printed as it is, ESC, BEL or CR would drive the user's terminal (set its
// title, fake a table row) and a NUL would cut the line.
#pragma once

#include <string>
#include <string_view>

// The text with every control character (C0, DEL, C1) and every byte that is not
// part of valid UTF-8 shown as \xHH; a backslash is doubled, so the shown text tells
// an escape from a name that holds one.
std::string TerminalText(std::string_view text);

// The text as a quoted JSON string, exact: for --json output.
std::string JsonQuoted(std::string_view text);
