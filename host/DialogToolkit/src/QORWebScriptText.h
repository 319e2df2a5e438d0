// QORWebScriptText.h - the one long text literal of a script that the program runs in a
// page, taken out of the script or written into it (kit internal).
//
// The filter dialog's init script is a few dozen characters of code around a string
// literal of the whole document: 20 MB of script at 100,000 entities, which the
// browser downloads and then parses as JavaScript before the page can start. Served
// instead as plain text beside a small script that fetches it and runs the same code
// with the text in place of the literal, the document arrives as bytes the page reads
// at once. The page's content security policy forbids eval, so the code around the
// literal stays in a script of its own.
#pragma once

#include <string>
#include <string_view>

#include "ObjectModelRuntime/QORTypes.h"

struct QORWebScriptText {
  std::string before;  // the code up to the literal's opening quote
  std::string text;    // the literal's value, UTF-8
  std::string after;   // the code after the literal's closing quote
};

// Splits out the longest single-quoted literal of at least minLength characters of
// source; false when there is none, or when the script is not plain enough to split
// safely (template literals, regular expressions with quotes, escapes it cannot read).
QOR_KIT_API bool QORSplitScriptText(std::string_view script, size_t minLength,
                                    QORWebScriptText& out);

// Appends text as the value of a single-quoted script literal, quotes excluded: JSON's
// escapes, and "'" as "\'", "</" and "<!" as "\u003c", U+2028 and U+2029 escaped, so
// that the script reads back the text exactly and nothing in it can end the script
// element it runs in.
QOR_KIT_API void QORAppendScriptLiteral(std::string_view text, std::string& out);
