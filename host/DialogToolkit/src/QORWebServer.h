// QORWebServer.h - the process's one loopback web server (kit internal): it serves
// every shown window's page session on 127.0.0.1 and posts what the pages ask to the
// host event loop. It starts on first use and stops at process exit.
#pragma once

#include <memory>
#include <string>

#include "DialogToolkit/src/QORWebServerSetup.h"

class QORWebServer {
 public:
  // The running server, started on the first call with setup (later calls' setup is not
  // looked at); null when it cannot start.
  static QORWebServer* Instance(const QORWebServerSetup& setup);
  // Stops the running server, if any, and joins its threads; Instance then gives null.
  static void StopRunning();

  virtual ~QORWebServer() = default;
  virtual int Port() const = 0;
  // Pages are served from Add until Remove (which releases their waiting requests).
  virtual void Add(std::shared_ptr<QORWebPage> page) = 0;
  virtual void Remove(const QORWebPage* page) = 0;
};
