// QORDialogToolkit.cpp - backend, browser and address settings.
#include "DialogToolkit/QORDialogToolkit.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>

#include "DialogToolkit/src/QORWebServer.h"
#include "DialogToolkit/src/QORWebSystem.h"
#include "ObjectModelRuntime/QORGetEnv.h"

namespace {
std::mutex g_mutex;
std::optional<QORDialogToolkit::Backend> g_backend;
std::optional<std::string> g_browser;
std::function<void(const std::string&)> g_addressSink;
std::function<void(const std::string&)> g_noticeSink;
std::optional<size_t> g_messageLimit;
std::chrono::milliseconds g_leaveGrace{3000};
// Long enough for a page whose script is busy (indexing a large document) to come back
// with its next poll, short enough that a killed browser is noticed while the user waits.
std::chrono::milliseconds g_lostGrace{20000};
constexpr size_t kDefaultMessageLimit = size_t(1) << 30;  // answers of a few million entities
}  // namespace

void QORDialogToolkit::SetBackend(Backend backend) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_backend = backend;
}

QORDialogToolkit::Backend QORDialogToolkit::GetBackend() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_backend) return *g_backend;
  const char* env = QORGetEnv("QOR_DIALOG_BACKEND");
  return env && std::strcmp(env, "none") == 0 ? Backend::None : Backend::Web;
}

void QORDialogToolkit::SetBrowserCommand(const std::string& command) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_browser = command;
}

std::string QORDialogToolkit::GetBrowserCommand() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_browser) return *g_browser;
  if (const char* env = QORGetEnv("QOR_BROWSER")) return env;
  if (QORGetEnv("DISPLAY") || QORGetEnv("WAYLAND_DISPLAY")) return "xdg-open";
  return "";
}

void QORDialogToolkit::SetAddressSink(std::function<void(const std::string&)> sink) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_addressSink = std::move(sink);
}

void QORDialogToolkit::AnnounceAddress(const std::string& address) {
  std::function<void(const std::string&)> sink;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    sink = g_addressSink;
  }
  if (sink) {
    sink(address);
    return;
  }
  std::fprintf(stderr, "dialog: %s\n", address.c_str());
}

void QORDialogToolkit::SetNoticeSink(std::function<void(const std::string&)> sink) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_noticeSink = std::move(sink);
}

void QORDialogToolkit::Notice(const std::string& text) {
  std::function<void(const std::string&)> sink;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    sink = g_noticeSink;
  }
  if (sink) {
    sink(text);
    return;
  }
  std::fprintf(stderr, "dialog: %s\n", text.c_str());
}

void QORDialogToolkit::SetMessageSizeLimit(size_t bytes) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_messageLimit = bytes;
}

size_t QORDialogToolkit::GetMessageSizeLimit() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_messageLimit) return *g_messageLimit;
  if (const char* env = QORGetEnv("QOR_DIALOG_MESSAGE_LIMIT")) {
    char* end = nullptr;
    unsigned long long value = std::strtoull(env, &end, 10);
    if (end != env && *end == '\0' && value > 0) return static_cast<size_t>(value);
  }
  return kDefaultMessageLimit;
}

void QORDialogToolkit::SetLeaveGrace(std::chrono::milliseconds grace) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_leaveGrace = grace < std::chrono::milliseconds(0) ? std::chrono::milliseconds(0) : grace;
}

std::chrono::milliseconds QORDialogToolkit::GetLeaveGrace() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_leaveGrace;
}

void QORDialogToolkit::SetLostGrace(std::chrono::milliseconds grace) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_lostGrace = grace < std::chrono::milliseconds(0) ? std::chrono::milliseconds(0) : grace;
}

std::chrono::milliseconds QORDialogToolkit::GetLostGrace() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_lostGrace;
}

namespace {
std::atomic<bool> g_closeBrowsers{false};
}

void QORDialogToolkit::SetCloseBrowsersOnShutdown(bool close) {
  g_closeBrowsers = close;
}

void QORDialogToolkit::Shutdown() {
  QORWebServer::StopRunning();
  if (g_closeBrowsers) QOREndLaunchedBrowsers();
}
