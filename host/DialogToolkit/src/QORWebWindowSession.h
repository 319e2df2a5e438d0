// QORWebWindowSession.h - the page session that shows one window in a browser (kit
// internal). The toolkit's widgets call it; it calls back into them only through
// work posted to the host event loop, and only while they live.
#pragma once

#include <memory>
#include <string>

class QORVidFraWindow;

class QORWebWindowSession {
 public:
  // Starts showing the window (the server starts on first use); null when the web
  // backend is off or the server cannot start.
  static QORWebWindowSession* Open(QORVidFraWindow* window);
  virtual ~QORWebWindowSession() = default;

  // The window's title, buttons or visibility changed.
  virtual void Update() = 0;
  // The applicative web viewer has a new script to run (its scripts are read from it).
  virtual void ScriptAdded() = 0;
  // The window is going away: the page says the dialog closed; no more events.
  virtual void Close() = 0;
  virtual std::string Address() const = 0;
};
