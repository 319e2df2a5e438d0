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

const QORMetaClass* LazyMeta(std::atomic<const QORMetaClass*>& slot, const char* name,
                             const QORMetaClass* (*parent)(), size_t size) {
  return zqy::internal::LazyMetaObject(slot, [&] {
    return zqy::internal::fct_RetrieveMetaObject(name, QORMetaClass::kComponent, parent(),
                                                 "QORNull", "EventToolkit", size);
  });
}

std::mutex g_sinkMutex;
QORCheckSink g_sink;

}  // namespace

QOREventArgs::QOREventArgs() = default;
QOREventArgs::~QOREventArgs() = default;
const QORMetaClass* QOREventArgs::MetaObject() {
  return LazyMeta(s_argsMeta, "QOREventArgs", &QORBaseUnknown::MetaObject, sizeof(QOREventArgs));
}
const QORMetaClass* QOREventArgs::GetMetaObject() const {
  return MetaObject();
}

const QORMetaClass* QORSYPEventArgs::MetaObject() {
  return LazyMeta(s_sypMeta, "QORSYPEventArgs", &QOREventArgs::MetaObject, sizeof(QORSYPEventArgs));
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
