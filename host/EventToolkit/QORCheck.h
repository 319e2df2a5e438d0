// QORCheck.h - the check facility: a failed precondition is reported (expression
// text and source location) to a sink that the host sets, and the caller returns
// without acting.
//
//   QOR_CHECK_RETURN(i_pArgs);   // reports "i_pArgs" with file and line, then returns
#pragma once

#include <functional>
#include <string>

#include "ObjectModelRuntime/QORTypes.h"

struct QORCheckReport {
  std::string expression;
  std::string file;
  int line = 0;
};

// The sink; by default reports go to standard error. Returns the previous sink.
typedef std::function<void(const QORCheckReport&)> QORCheckSink;
QOR_KIT_API QORCheckSink QORSetCheckSink(QORCheckSink sink);
QOR_KIT_API void QORReportCheck(const char* expression, const char* file, int line);

#define QOR_CHECK_RETURN(expr)                   \
  do {                                           \
    if (!(expr)) {                               \
      QORReportCheck(#expr, __FILE__, __LINE__); \
      return;                                    \
    }                                            \
  } while (0)
