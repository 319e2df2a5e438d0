// QOREventLoop.h - the host thread's event loop.
//
// One host thread runs every event handler, notification callback and delayed
// destruction; other threads (the dialog toolkit's web server) only Post work to it.
// The thread that first asks for the loop becomes the host thread.
//
//   QOREventLoop& loop = QOREventLoop::Host();
//   loop.Run();                                   // until Quit
//   loop.RunUntil([&] { return closed; }, 5s);    // tests
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "ObjectModelRuntime/QORTypes.h"

class QOR_KIT_API QOREventLoop {
 public:
  static QOREventLoop& Host();

  // Queues work for a later turn of the loop; safe from any thread.
  void Post(std::function<void()> work);
  // Runs queued work until Quit; returns the code given to Quit.
  int Run();
  void Quit(int code = 0);
  // Runs turns until condition holds (checked after each piece of work) or the time
  // limit passes; true when the condition held.
  bool RunUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit);
  // Runs what is queued now (not what that work queues in turn).
  void RunPending();
  bool IsHostThread() const { return std::this_thread::get_id() == _hostThread; }

 private:
  QOREventLoop();
  // Takes the next work, waiting at most until deadline; false when none came.
  bool Next(std::function<void()>& work, std::chrono::steady_clock::time_point deadline);

  std::mutex _mutex;
  std::condition_variable _wake;
  std::deque<std::function<void()>> _queue;
  bool _quit = false;
  int _exitCode = 0;
  std::thread::id _hostThread;
};
