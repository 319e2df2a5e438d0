// QORJsonCheck.h - whether a text is JSON that JIStream::Parse would take, checked
// without building the parsed document: for a text that is kept as it is. A parse of
// tens of megabytes fills a tape and a string buffer as large as the text in freshly
// mapped memory, which costs many times the check itself.
#pragma once

#include <string_view>

#include "SystemStrings/QORTypes.h"

// True when text is one JSON value that JIStream::Parse accepts: the same refusals
// (grammar, numbers, escapes, UTF-8, nesting deeper than JSON::kMaxDepth). It says no
// more than that: a parse of a refused text tells why.
QOR_KIT_API bool QORIsValidJson(std::string_view text);
