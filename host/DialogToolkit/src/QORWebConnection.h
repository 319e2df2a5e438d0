// QORWebConnection.h - the web server's connections (kit internal): httplib's server
// with a bounded pool of workers and deadlines on every read, so that a flood, a
// trickled head or a head without end holds neither a worker nor memory; and which
// page the request on this worker belongs to, so a page with requests open is known
// to be there.
#pragma once

#include <httplib.h>

#include <atomic>
#include <memory>

struct QORWebPage;

namespace qor_web {

// A pool of workers whose queue of accepted connections is bounded: when it is full
// the accepting thread waits, so a flood backs up into the kernel.
httplib::TaskQueue* NewBoundedPool(size_t workers, size_t capacity);

// httplib's server with connections served under the server's deadlines, and a listen
// backlog that takes a burst of connections (the library's is 5).
class GuardedHttp final : public httplib::Server {
 public:
  explicit GuardedHttp(const std::atomic<bool>& stopping) : _stopping(stopping) {}
  void WidenBacklog();

 private:
  bool process_and_close_socket(socket_t sock) override;

  const std::atomic<bool>& _stopping;
};

// The request on this worker was admitted to page, and counts as its browser being
// there until it is answered. True when it is the first the page has seen.
bool RequestBegins(const std::shared_ptr<QORWebPage>& page);
// Whether the client of this worker's connection hung up (a killed browser's sockets
// are closed by its system).
bool ClientHungUp();
// The request's head was read whole: what follows (the body) is not the head's.
void HeadRead();

}  // namespace qor_web
