// QORWebConnection.cpp - the web server's connections under deadlines.
#include "DialogToolkit/src/QORWebConnection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <thread>
#include <vector>

#include "DialogToolkit/src/QORWebPage.h"
#include "DialogToolkit/src/QORWebSystem.h"

namespace qor_web {

namespace {

// httplib's own pool queues accepted connections without bound; this one makes the
// accepting thread wait when the queue is full, so a flood backs up into the kernel.
class BoundedPool final : public httplib::TaskQueue {
 public:
  BoundedPool(size_t workers, size_t capacity) : _capacity(capacity) {
    for (size_t i = 0; i < workers; ++i) _threads.emplace_back([this] { Work(); });
  }

  void enqueue(std::function<void()> fn) override {
    std::unique_lock<std::mutex> lock(_mutex);
    _room.wait(lock, [this] { return _jobs.size() < _capacity || _shutdown; });
    _jobs.push_back(std::move(fn));
    lock.unlock();
    _ready.notify_one();
  }

  void shutdown() override {
    {
      std::lock_guard<std::mutex> lock(_mutex);
      _shutdown = true;
    }
    _ready.notify_all();
    _room.notify_all();
    for (std::thread& t : _threads) t.join();
  }

 private:
  void Work() {
    for (;;) {
      std::function<void()> fn;
      {
        std::unique_lock<std::mutex> lock(_mutex);
        _ready.wait(lock, [this] { return !_jobs.empty() || _shutdown; });
        if (_jobs.empty()) return;  // shut down and drained
        fn = std::move(_jobs.front());
        _jobs.pop_front();
      }
      _room.notify_one();
      fn();
    }
  }

  const size_t _capacity;
  std::mutex _mutex;
  std::condition_variable _ready, _room;
  std::deque<std::function<void()>> _jobs;
  std::vector<std::thread> _threads;
  bool _shutdown = false;
};

// How long a client has to send a request's head (request line and headers), from
// its connection or from the end of the previous request, and how large it may be:
// a client that trickles a header every few seconds, or sends headers without end,
// is cut off instead of holding a worker and memory.
constexpr auto kHeadDeadline = std::chrono::seconds(2);
constexpr size_t kMaxHeadBytes = 64 * 1024;
// Reads and writes wait in slices this long, so that a stopping server is noticed.
constexpr auto kSlice = std::chrono::milliseconds(50);

// What the connection on this worker thread has read of the current request's head.
struct HeadState {
  bool inHead = false;
  size_t bytes = 0;
  std::chrono::steady_clock::time_point deadline;
};
thread_local HeadState* t_head = nullptr;
// The connection this worker serves, and the page its current request was admitted to.
thread_local int t_socket = -1;
thread_local std::shared_ptr<QORWebPage> t_page;

}  // namespace

bool RequestBegins(const std::shared_ptr<QORWebPage>& page) {
  if (t_page) return false;
  std::lock_guard<std::mutex> lock(page->mutex);
  page->inFlight += 1;
  page->lastSeen = std::chrono::steady_clock::now();
  t_page = page;
  if (page->seen) return false;
  page->seen = true;
  // A launcher that handed the address to a browser already running has ended by now:
  // its end will say nothing of the page.
  if (page->browserGroup > 0 && QORLaunchedBrowserEnded(page->browserGroup)) page->browserGroup = 0;
  return true;
}

namespace {

void RequestEnds() {
  if (!t_page) return;
  {
    std::lock_guard<std::mutex> lock(t_page->mutex);
    t_page->inFlight -= 1;
    t_page->lastSeen = std::chrono::steady_clock::now();
  }
  t_page.reset();
}

}  // namespace

// A long poll whose client hung up stops holding the page as seen.
bool ClientHungUp() {
  if (t_socket < 0) return false;
  pollfd p{t_socket, POLLRDHUP, 0};
  return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL));
}

namespace {

// A connection's socket with the server's deadlines: reads of a head are bounded in
// time and size, and every wait gives up once the server stops.
class GuardedStream final : public httplib::Stream {
 public:
  GuardedStream(int fd, const std::atomic<bool>& stopping, HeadState& head)
      : _fd(fd), _stopping(stopping), _head(head) {}

  bool is_readable() const override { return Wait(POLLIN, std::chrono::milliseconds(0)); }
  bool is_writable() const override { return Wait(POLLOUT, std::chrono::milliseconds(0)); }

  ssize_t read(char* ptr, size_t size) override {
    const auto now = std::chrono::steady_clock::now();
    auto limit = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::seconds(5));
    if (_head.inHead) {
      if (now >= _head.deadline || _head.bytes >= kMaxHeadBytes) return -1;
      limit = std::chrono::duration_cast<std::chrono::milliseconds>(_head.deadline - now);
      size = std::min(size, kMaxHeadBytes - _head.bytes);
    }
    if (!Wait(POLLIN, limit)) return -1;
    ssize_t got;
    do {
      got = ::recv(_fd, ptr, size, MSG_DONTWAIT);
    } while (got < 0 && errno == EINTR);
    if (got > 0 && _head.inHead) _head.bytes += static_cast<size_t>(got);
    return got;
  }

  ssize_t write(const char* ptr, size_t size) override {
    if (!Wait(POLLOUT, std::chrono::seconds(10))) return -1;
    ssize_t sent;
    do {
      sent = ::send(_fd, ptr, size, MSG_DONTWAIT | MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent;
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    Address(false, ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override { Address(true, ip, port); }
  socket_t socket() const override { return _fd; }

 private:
  // Waits for the event in slices, giving up when the server stops; an answer being
  // written gets a few slices more, so that what the program did is still reported.
  template <class Duration>
  bool Wait(short events, Duration limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int graceSlices = events == POLLOUT ? 10 : 0;
    for (;;) {
      if (_stopping.load() && graceSlices-- <= 0) return false;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      const auto slice =
          std::max(std::chrono::milliseconds(0), std::min<std::chrono::milliseconds>(left, kSlice));
      pollfd p{_fd, events, 0};
      const int ready = ::poll(&p, 1, static_cast<int>(slice.count()));
      if (ready > 0) return true;
      if (ready < 0 && errno != EINTR) return false;
      if (left <= std::chrono::milliseconds(0)) return false;
    }
  }

  void Address(bool local, std::string& ip, int& port) const {
    sockaddr_in address{};
    socklen_t length = sizeof(address);
    const int done = local ? ::getsockname(_fd, reinterpret_cast<sockaddr*>(&address), &length)
                           : ::getpeername(_fd, reinterpret_cast<sockaddr*>(&address), &length);
    char text[INET_ADDRSTRLEN] = {};
    if (done == 0 && address.sin_family == AF_INET)
      ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof(text));
    ip = text;
    port = done == 0 ? ntohs(address.sin_port) : 0;
  }

  int _fd;
  const std::atomic<bool>& _stopping;
  HeadState& _head;
};

}  // namespace

httplib::TaskQueue* NewBoundedPool(size_t workers, size_t capacity) {
  return new BoundedPool(workers, capacity);
}

void GuardedHttp::WidenBacklog() {
  ::listen(svr_sock_, SOMAXCONN);
}

bool GuardedHttp::process_and_close_socket(socket_t sock) {
  const int on = 1;
  ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
  HeadState head;
  t_head = &head;
  t_socket = sock;
  GuardedStream stream(sock, _stopping, head);
  bool ok = true;
  for (size_t count = 0; ok && count < keep_alive_max_count_ && !_stopping.load(); ++count) {
    // A kept-alive connection may wait a while before its next request starts.
    if (count > 0 && !stream.is_readable()) {
      const auto idle =
          std::chrono::steady_clock::now() + std::chrono::seconds(keep_alive_timeout_sec_);
      bool more = false;
      while (!more && !_stopping.load() && std::chrono::steady_clock::now() < idle) {
        pollfd p{sock, POLLIN, 0};
        more = ::poll(&p, 1, static_cast<int>(kSlice.count())) > 0;
      }
      if (!more) break;
    }
    head.inHead = true;
    head.bytes = 0;
    head.deadline = std::chrono::steady_clock::now() + kHeadDeadline;
    bool closed = false;
    // Answers go uncompressed: over loopback compression only costs time, and
    // httplib's brotli at its top quality takes tens of milliseconds a page.
    ok = process_request(stream, count + 1 == keep_alive_max_count_, closed,
                         [](httplib::Request& req) { req.headers.erase("Accept-Encoding"); });
    RequestEnds();
    ok = ok && !closed;
  }
  t_head = nullptr;
  t_socket = -1;
  ::shutdown(sock, SHUT_RDWR);
  ::close(sock);
  return true;
}

// The request's head was read whole: what follows (the body) is not the head's.
void HeadRead() {
  if (t_head) t_head->inHead = false;
}

}  // namespace qor_web
