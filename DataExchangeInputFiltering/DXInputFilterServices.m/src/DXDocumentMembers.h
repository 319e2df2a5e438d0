// DXDocumentMembers.h - the top-level members of a filter document's text, taken as
// they stand. The page gives back the document it was shown with the user's edits in
// it, 20 MB and more on a large model: writing it anew from a parse would copy and
// re-escape every byte only to produce the same bytes.
#pragma once

#include <string_view>
#include <vector>

struct DXDocumentMember {
  std::string_view key;    // the key's text between its quotes (holds no escape)
  std::string_view value;  // the value's JSON text
};

// Splits the text of a JSON object into its members. The text need not be checked yet:
// this only says whether it has the form below, not whether it is JSON. True only when the text is
// exactly what the document's own writer makes of it: compact, with strings escaped its one way
// ("\"", "\\", "\b", "\f", "\n", "\r", "\t", and "\u00xx" for the other control characters, nothing
// else escaped) and keys without escapes. Other texts (indented, "\u00e9", "\/") are for the caller
// to write anew.
bool DXSplitCanonicalMembers(std::string_view object, std::vector<DXDocumentMember>& members);
