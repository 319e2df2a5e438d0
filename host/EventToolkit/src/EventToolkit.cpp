// EventToolkit.cpp - argument classes, handlers and the check facility.
#include <atomic>
#include <cstdio>
#include <mutex>

#include "EventToolkit/QORCheck.h"
#include "EventToolkit/QOREventHandler.h"
#include "EventToolkit/QORSYPEventArgs.h"

namespace {

std::atomic<const QORMetaClass*> s_argsMeta{nullptr};
std::atomic<const QORMetaClass*> s_sypMeta{nullptr};

std::mutex g_sinkMutex;
QORCheckSink g_sink;

}  // namespace

QOREventArgs::QOREventArgs() = default;
QOREventArgs::~QOREventArgs() = default;
const QORMetaClass* QOREventArgs::MetaObject() {
  return zqy::internal::LazyComponentMetaObject(s_argsMeta, "QOREventArgs",
                                                &QORBaseUnknown::MetaObject, "EventToolkit",
                                                sizeof(QOREventArgs));
}
const QORMetaClass* QOREventArgs::GetMetaObject() const {
  return MetaObject();
}

const QORMetaClass* QORSYPEventArgs::MetaObject() {
  return zqy::internal::LazyComponentMetaObject(s_sypMeta, "QORSYPEventArgs",
                                                &QOREventArgs::MetaObject, "EventToolkit",
                                                sizeof(QORSYPEventArgs));
}

QOREventHandler::~QOREventHandler() = default;

QORCheckSink QORSetCheckSink(QORCheckSink sink) {
  std::lock_guard<std::mutex> lock(g_sinkMutex);
  QORCheckSink previous = std::move(g_sink);
  g_sink = std::move(sink);
  return previous;
}

void QORReportCheck(const char* expression, const char* file, int line) {
  QORCheckReport report{expression ? expression : "", file ? file : "", line};
  QORCheckSink sink;
  {
    std::lock_guard<std::mutex> lock(g_sinkMutex);
    sink = g_sink;
  }
  if (sink) {
    sink(report);
    return;
  }
  std::fprintf(stderr, "check failed: %s (%s:%d)\n", report.expression.c_str(), report.file.c_str(),
               report.line);
}
