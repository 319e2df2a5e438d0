// bench_dialog_transport - moving a filter document between the program and its page
// in headless Chromium, each way beside a floor measured in the same run:
//
//   init   RunJavaScript of the init script (Filter.init('<escaped document>'), as the
//          filter dialog sends it) until the host hears the page's ["inited", length];
//          floor: the same browser loading the same script text as a plain static
//          script from the same server.
//   ok     the page posting ["onOkClick", document] until the host thread has the text
//          and parsed it with JSON::JIStream; floor: the same body posted to an endpoint
//          that drops it.
//
// Both sides of each pair start from a script pushed by the host and end on the host,
// so what differs is only the way under test. Target: each within 1.3x its floor.
//
//   bench_dialog_transport [--runs N] [--entities N]
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "DataExchangeUtilities/QORDXUnicodeString.h"
#include "DialogToolkit/QORDialogToolkit.h"
#include "DialogToolkit/QORVidCtlWebViewer.h"
#include "DialogToolkit/QORVidFraDialog.h"
#include "DialogToolkit/QORVidJSMessageEventArgs.h"
#include "DialogToolkit/QORWebAssets.h"
#include "EventToolkit/QOREventHandler.h"
#include "EventToolkit/QOREventLoop.h"
#include "EventToolkit/QORSYPEventArgs.h"
#include "JsonStreams/JIStream.h"
#include "JsonStreams/JOStream.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr char kChromium[] = "/usr/bin/chromium";

const char kPage[] = R"(<!doctype html>
<html><head><meta charset="utf-8"><title>transport bench</title>
<script src="bench.js"></script></head><body></body></html>
)";

// The page's stand-in for the filter module, reached through a require() as the
// filter dialog's scripts do.
const char kPageScript[] = R"(
var Filter = {
  doc: '',
  init: function (text) { Filter.doc = text; qor.post(['inited', String(text.length)]); },
  sendNewJson: function (name) { qor.post([name, Filter.doc]); },
  discard: function (name) {
    var base = '/' + location.pathname.split('/')[1];
    fetch(base + '/__qor/discard', { method: 'POST', cache: 'no-store', referrerPolicy: 'same-origin',
                                     headers: { 'Content-Type': 'application/json' },
                                     body: JSON.stringify([name, Filter.doc]) })
      .then(function () { qor.post(['discarded']); });
  },
  loadStatic: function (src) {
    var s = document.createElement('script');
    s.src = src;
    s.onload = function () { s.remove(); };
    document.head.appendChild(s);
  }
};
window.require = function (modules, callback) { callback(Filter); };
)";

// A filter document of count entities: nodes with a label, a uid and ten grid cells,
// nested with a fan-out of eight.
std::string BuildDocument(int count) {
  int made = 0;
  auto uid = [](int n) {
    static const char kAlphabet[] =
        "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_$";
    std::string id(22, '0');
    uint64_t x = 0x9E3779B97F4A7C15ull * static_cast<uint64_t>(n + 1);
    for (char& c : id) {
      x ^= x >> 29;
      x *= 0xBF58476D1CE4E5B9ull;
      c = kAlphabet[x & 63];
    }
    return id;
  };
  auto node = [&](auto&& self, int depth) -> JSON::JOStream {
    const int n = made++;
    JSON::JOStream entity;
    entity.Add("label", QORUnicodeString("Entity " + std::to_string(n) + " 'level " +
                                         std::to_string(depth) + "'"));
    JSON::JOStream data;
    data.Add("uid", std::vector<QORUnicodeString>{QORUnicodeString(uid(n))});
    entity.Add("data", std::move(data));
    JSON::JOStream grid;
    static const char* kColumns[] = {"Import",   "Mode",  "Name",   "Type",    "Level",
                                     "Material", "Phase", "Status", "Comment", "Owner"};
    for (int c = 0; c < 10; ++c)
      grid.Add(kColumns[c],
               QORUnicodeString(c == 0 ? "true" : "value " + std::to_string((n * 31 + c) % 97)));
    entity.Add("grid", std::move(grid));
    if (made < count) {
      std::vector<JSON::JOStream> children;
      for (int k = 0; k < 8 && made < count; ++k) {
        if (depth >= 5) break;
        children.push_back(self(self, depth + 1));
      }
      if (!children.empty()) entity.Add("children", std::move(children));
    }
    return entity;
  };
  std::vector<JSON::JOStream> roots;
  while (made < count) roots.push_back(node(node, 0));
  JSON::JOStream document;
  document.Add("filterID", "bench");
  document.Add("roots", std::move(roots));
  return document.Stringify().Str();
}

class Probe : public QORBaseUnknown {
 public:
  void OnLoadStart(QORBaseUnknown*, QORSYPEventArgs*) { loaded = true; }
  void OnMessage(QORBaseUnknown*, QORVidJSMessageEventArgs* args) {
    const auto& m = args->GetMessages();
    if (m.empty()) return;
    if (m[0].Compare("inited") && m.size() == 2) {
      initedLength = std::atol(m[1].CastToCharPtr());
      done = true;
    } else if (m[0].Compare("onOkClick") && m.size() == 2) {
      // What the dialog's OK does first with the text.
      JSON::JIStream document;
      parsed = document.Parse(m[1]) && document.IsObject();
      receivedBytes = m[1].Str().size();
      done = true;
    } else if (m[0].Compare("discarded")) {
      done = true;
    }
  }
  bool loaded = false;
  bool done = false;
  bool parsed = false;
  long initedLength = 0;
  size_t receivedBytes = 0;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 5, entities = 100000;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--runs")) runs = std::max(1, std::atoi(argv[i + 1]));
    if (!std::strcmp(argv[i], "--entities")) entities = std::max(1, std::atoi(argv[i + 1]));
  }
  if (access(kChromium, X_OK) != 0) {
    std::printf("bench_dialog_transport: skipped, no %s\n", kChromium);
    return 0;
  }

  QOREventLoop& loop = QOREventLoop::Host();
  std::string address;
  QORDialogToolkit::SetBackend(QORDialogToolkit::Backend::Web);
  QORDialogToolkit::SetBrowserCommand("");
  QORDialogToolkit::SetAddressSink([&](const std::string& a) { address = a; });

  const std::string document = BuildDocument(entities);
  QORDXUnicodeString escaped = QORDXUnicodeString(QORUnicodeString(document)).EscapeJSON();
  escaped.ReplaceAll("'", "\\'");
  const std::string initScript =
      "require(['ZQ/DXInputFilterDisplay/Filter'], function(Filter) { Filter.init('" +
      escaped.Str() + "'); });";
  std::printf("document: %d entities, %.1f MB; init script %.1f MB\n", entities,
              document.size() / 1e6, initScript.size() / 1e6);

  QORWebAssets::Register("webapps/DialogToolkitBench/page.html", kPage, "text/html; charset=utf-8");
  QORWebAssets::Register("webapps/DialogToolkitBench/bench.js", kPageScript,
                         "text/javascript; charset=utf-8");
  QORWebAssets::Register("webapps/DialogToolkitBench/init.js", initScript,
                         "text/javascript; charset=utf-8");

  auto* probe = new Probe();
  auto* dialog = new QORVidFraDialog(nullptr, "BenchDialog");
  auto* viewer = new QORVidCtlWebViewer(dialog, "BenchViewer", QORUnicodeString());
  viewer->SetHomeURL("zqrtv://webapps/DialogToolkitBench/page.html");
  viewer->Build();
  auto subscribe = [](QORVidWidget* w, QOREvent* e, QOREventHandler* h) {
    w->AddHandler(e, h, 0);
    h->Release();
  };
  subscribe(viewer, QORVidCtlWebViewer::LoadStart(),
            new QORMethodEventHandler<Probe, QORSYPEventArgs>(probe, &Probe::OnLoadStart));
  subscribe(viewer, QORVidCtlWebViewer::JSMessage(),
            new QORMethodEventHandler<Probe, QORVidJSMessageEventArgs>(probe, &Probe::OnMessage));
  dialog->SetApplicativeWidget(viewer);
  dialog->SetVisibleFlag(1);

  // The browser, with a profile of its own, ended when the bench is.
  const std::string profile =
      (std::filesystem::temp_directory_path() / ("bench-dialog-" + std::to_string(getpid())))
          .string();
  std::vector<std::string> args = {kChromium,
                                   "--headless",
                                   "--no-sandbox",
                                   "--disable-gpu",
                                   "--disable-quic",
                                   "--no-first-run",
                                   "--disable-background-networking",
                                   "--disable-component-update",
                                   "--disable-sync",
                                   "--user-data-dir=" + profile,
                                   address};
  std::vector<char*> argvChromium;
  for (std::string& a : args) argvChromium.push_back(a.data());
  argvChromium.push_back(nullptr);
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&files, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t browser = -1;
  int status = 1;
  if (address.empty() ||
      posix_spawn(&browser, kChromium, &files, nullptr, argvChromium.data(), environ) != 0) {
    std::fprintf(stderr, "bench_dialog_transport: could not start the dialog or the browser\n");
  } else if (!loop.RunUntil([&] { return probe->loaded; }, std::chrono::seconds(60))) {
    std::fprintf(stderr, "bench_dialog_transport: the page never loaded\n");
  } else {
    // Runs one measure: the trigger script pushed at t0, until the probe hears the end.
    auto measure = [&](const std::string& trigger, double& ms) {
      probe->done = false;
      const auto t0 = Clock::now();
      viewer->RunJavaScript(QORUnicodeString(trigger), __FILE__, __LINE__);
      if (!loop.RunUntil([&] { return probe->done; }, std::chrono::seconds(120))) return false;
      ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
      return true;
    };
    std::vector<double> init, initFloor, ok, okFloor;
    bool good = true;
    for (int r = 0; r < runs && good; ++r) {
      double a = 0, b = 0, c = 0, d = 0;
      // A new address each run, as pushed scripts have: the browser compiles the text
      // afresh instead of finding it in its cache of scripts by address.
      const std::string loadStatic = "Filter.loadStatic('init.js?run=" + std::to_string(r) + "');";
      // The order alternates so that neither side always runs on a warmer browser.
      if (r % 2 == 0) {
        good = measure(initScript, a) &&
               probe->initedLength == static_cast<long>(document.size()) &&
               measure(loadStatic, b) && probe->initedLength == static_cast<long>(document.size());
      } else {
        good = measure(loadStatic, b) && measure(initScript, a) &&
               probe->initedLength == static_cast<long>(document.size());
      }
      if (r % 2 == 0) {
        good = good && measure("Filter.sendNewJson('onOkClick');", c) && probe->parsed &&
               probe->receivedBytes == document.size() &&
               measure("Filter.discard('onOkClick');", d);
      } else {
        good = good && measure("Filter.discard('onOkClick');", d) &&
               measure("Filter.sendNewJson('onOkClick');", c) && probe->parsed &&
               probe->receivedBytes == document.size();
      }
      if (!good) break;
      init.push_back(a);
      initFloor.push_back(b);
      ok.push_back(c);
      okFloor.push_back(d);
      std::printf("run %d: init %.0f ms (floor %.0f), ok %.0f ms (floor %.0f)\n", r + 1, a, b, c,
                  d);
    }
    if (!good) {
      std::fprintf(stderr,
                   "bench_dialog_transport: a measure failed or the page answered wrongly\n");
    } else {
      const double i = Median(init), fi = Median(initFloor), o = Median(ok), fo = Median(okFloor);
      std::printf("\nmedians of %d runs\n", runs);
      std::printf(
          "  init script to the page : %7.0f ms  floor %7.0f ms  ratio %.2f  (target <= 1.30)\n", i,
          fi, i / fi);
      std::printf(
          "  OK document to the host : %7.0f ms  floor %7.0f ms  ratio %.2f  (target <= 1.30)\n", o,
          fo, o / fo);
      status = 0;
    }
  }
  posix_spawn_file_actions_destroy(&files);
  if (browser > 0) {
    kill(browser, SIGTERM);
    waitpid(browser, nullptr, 0);
  }
  std::error_code ignored;
  std::filesystem::remove_all(profile, ignored);
  viewer->RequestDelayedDestruction();
  dialog->RequestDelayedDestruction();
  loop.RunPending();
  probe->Release();
  return status;
}
