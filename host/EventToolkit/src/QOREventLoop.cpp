// QOREventLoop.cpp - a queue of work run by the host thread.
#include "EventToolkit/QOREventLoop.h"

QOREventLoop& QOREventLoop::Host() {
  // Never destroyed: work may still be posted from other threads at exit.
  static QOREventLoop* loop = new QOREventLoop();
  return *loop;
}

QOREventLoop::QOREventLoop() : _hostThread(std::this_thread::get_id()) {}

void QOREventLoop::Post(std::function<void()> work) {
  {
    std::lock_guard<std::mutex> lock(_mutex);
    _queue.push_back(std::move(work));
  }
  _wake.notify_one();
}

void QOREventLoop::Quit(int code) {
  {
    std::lock_guard<std::mutex> lock(_mutex);
    _quit = true;
    _exitCode = code;
  }
  _wake.notify_one();
}

bool QOREventLoop::Next(std::function<void()>& work,
                        std::chrono::steady_clock::time_point deadline) {
  std::unique_lock<std::mutex> lock(_mutex);
  if (!_wake.wait_until(lock, deadline, [this] { return !_queue.empty() || _quit; })) return false;
  if (_queue.empty()) return false;
  work = std::move(_queue.front());
  _queue.pop_front();
  return true;
}

int QOREventLoop::Run() {
  for (;;) {
    std::function<void()> work;
    {
      std::unique_lock<std::mutex> lock(_mutex);
      _wake.wait(lock, [this] { return !_queue.empty() || _quit; });
      if (_quit) {
        _quit = false;
        return _exitCode;
      }
      work = std::move(_queue.front());
      _queue.pop_front();
    }
    work();
  }
}

bool QOREventLoop::RunUntil(const std::function<bool()>& condition,
                            std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    std::function<void()> work;
    if (!Next(work, deadline)) {
      if (std::chrono::steady_clock::now() >= deadline) return condition();
      std::lock_guard<std::mutex> lock(_mutex);
      _quit = false;  // a Quit meant for Run does not end a bounded wait
      continue;
    }
    work();
  }
  return true;
}

void QOREventLoop::RunPending() {
  std::deque<std::function<void()>> now;
  {
    std::lock_guard<std::mutex> lock(_mutex);
    now.swap(_queue);
  }
  for (auto& work : now) work();
}
