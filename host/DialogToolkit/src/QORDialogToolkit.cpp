// QORDialogToolkit.cpp - backend, browser and address settings.
#include "DialogToolkit/QORDialogToolkit.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>

#include "ObjectModelRuntime/QORGetEnv.h"

namespace {
std::mutex g_mutex;
std::optional<QORDialogToolkit::Backend> g_backend;
std::optional<std::string> g_browser;
std::function<void(const std::string&)> g_addressSink;
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
