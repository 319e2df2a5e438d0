// EditSession.cpp - showing the dialog, waiting for it, recording and replaying.
#include "EditSession.h"

#include <malloc.h>
#include <signal.h>

#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "DialogToolkit/QORVidCtlWebViewer.h"
#include "DialogToolkit/QORVidFraDialog.h"
#include "DialogToolkit/QORVidJSMessageEventArgs.h"
#include "EventToolkit/QOREventHandler.h"
#include "EventToolkit/QOREventLoop.h"
#include "JsonStreams/JIStream.h"
#include "JsonStreams/JOStream.h"
#include "JsonStreams/QORJsonString.h"
#include "ObjectModelRuntime/QORErrorText.h"
#include "ObjectModelRuntime/QORFillDictionary.h"
#include "ResolvedTable.h"

namespace {

// Loop exit code of a wait that ran out of time (signals give 128 + the signal).
constexpr int kTimedOut = 124;

// Ctrl+C and termination end the wait as a cancellation: a thread of its own waits
// for the signals and posts to the host loop, since a signal handler may not.
void WatchSignals() {
  static bool started = false;
  if (started) return;
  started = true;
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  // A second signal ends the program at once, whatever the first one is waiting for.
  std::thread([set] {
    bool first = true;
    for (int signal = 0;;) {
      if (sigwait(&set, &signal) != 0) continue;
      if (!first) std::_Exit(128 + signal);
      first = false;
      QOREventLoop::Host().Quit(128 + signal);
    }
  }).detach();
}

std::string JsonLine(const char* key, const std::string& value) {
  std::string line = std::string("{\"") + key + "\":";
  QORAppendJsonString(line, value);
  return line + "}\n";
}

const char* ButtonName(int button) {
  switch (button) {
    case QORVidFraDialog::kOK:
      return "OK";
    case QORVidFraDialog::kSave:
      return "Save";
    case QORVidFraDialog::kCancel:
      return "Cancel";
    default:
      return "Close";
  }
}

// Reads the text a notification of the filtering module carries; false without one.
// The notification's class lives in that module; the test driver reads it.
bool NotificationText(QORNotification* notification, QORUnicodeString& text) {
  QORFactoryFunction readText = QORFillDictionary::FindFactory("DXInputFilterNotificationText");
  if (!readText) return false;
  struct {
    QORNotification* notification;
    QORUnicodeString* text;
  } request{notification, &text};
  return readText(&request) != nullptr;
}

// Why an answer of the page cannot be the filter document; empty when it can. Gives the
// import column (the first boolean one, "" for none) as well.
std::string CheckAnswer(const QORUnicodeString& answer, std::string& importColumn) {
  JSON::JIStream document;
  // The kit leaves a message's long strings room to be parsed where they lie.
  if (!document.Parse(answer)) return "it is not valid JSON (" + document.LastError() + ")";
  if (!document.IsObject()) return "its top level is not a JSON object";
  if (document.GetType("data") != JSON::Type::Object) return "it has no \"data\" object";
  for (const char* key : {"columns", "roots"})
    if (document.GetType(key) != JSON::Type::Array)
      return std::string("it has no \"") + key + "\" array";
  importColumn.clear();
  for (const JSON::JIStream& column : document.ReadObjects("columns")) {
    const std::string index = column.ReadString("dataIndex").Str();
    if (index.empty()) return "a column has no \"dataIndex\"";
    if (importColumn.empty() && column.ReadString("typeRepresentation").Str() == "boolean")
      importColumn = index;
  }
  return "";
}

}  // namespace

EditSession::EditSession() : QORCommand(nullptr, "dxfilter") {
  AddAnalyseNotificationCB(nullptr, "QORInputFilterPanelClosedNotif",
                           static_cast<QORCommandMethod>(&EditSession::OnPanelClosed), nullptr);
  AddAnalyseNotificationCB(nullptr, "QORInputFilterPanelLoadedNotif",
                           static_cast<QORCommandMethod>(&EditSession::OnPanelLoaded), nullptr);
  AddAnalyseNotificationCB(nullptr, "QORInputFilterInteractionRecordNotif",
                           static_cast<QORCommandMethod>(&EditSession::OnInteraction), nullptr);
  AddAnalyseNotificationCB(nullptr, "QORInputFilterDumpModelNotif",
                           static_cast<QORCommandMethod>(&EditSession::OnDumpModel), nullptr);
}

EditSession::~EditSession() = default;

void EditSession::Replay(std::vector<Step> steps, std::string button) {
  _steps = std::move(steps);
  _button = std::move(button);
}

QORVidFraDialog* EditSession::Dialog() const {
  for (QORCommand* child : GetChildren())
    if (child->IsAKindOf("QORVidFraDialog")) return static_cast<QORVidFraDialog*>(child);
  return nullptr;
}

EditSession::Outcome EditSession::Run(QORIInputFilterGenerator& generator, std::string& errorText) {
  WatchSignals();
  // The document goes through a handful of buffers of its size on its way back (the
  // answer, the parses, the file): freed ones are kept for the next rather than
  // returned to the system and faulted in afresh, which costs more than the copies.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
  HRESULT hr = generator.ShowFilterDialog(this);
  if (QORFailed(hr)) {
    errorText = "cannot show the filter dialog";
    return Outcome::Failed;
  }
  // The page's answer is heard beside the dialog, which subscribed first.
  if (QORVidFraDialog* dialog = Dialog()) {
    if (QORVidWidget* viewer = dialog->GetApplicativeWidget()) {
      QOREventHandler* handler = new QORMethodEventHandler<EditSession, QORVidJSMessageEventArgs>(
          this, &EditSession::OnPageMessage);
      viewer->AddHandler(QORVidCtlWebViewer::JSMessage(), handler, 1);
      handler->Release();
    }
  }
  QOREventLoop& loop = QOREventLoop::Host();
  // The time limit: a thread waits for it and ends the loop, as the signals do.
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  std::thread watchdog;
  if (_limit.count() > 0) {
    watchdog = std::thread([&] {
      std::unique_lock<std::mutex> lock(mutex);
      if (!done.wait_for(lock, _limit, [&] { return finished; }))
        QOREventLoop::Host().Quit(kTimedOut);
    });
  }
  struct Stop {
    std::mutex& mutex;
    std::condition_variable& done;
    bool& finished;
    std::thread& watchdog;
    ~Stop() {
      {
        std::lock_guard<std::mutex> lock(mutex);
        finished = true;
      }
      done.notify_all();
      if (watchdog.joinable()) watchdog.join();
    }
  } stop{mutex, done, finished, watchdog};
  while (!_closed) {
    int code = 0;
    loop.Post([] {});  // wake once so a close that already happened is seen
    code = loop.Run();
    if (code == kTimedOut) {
      errorText = "the dialog did not close within " + std::to_string(_limit.count()) + " s";
      return Outcome::Failed;
    }
    if (code != 0) return Outcome::Interrupted;
  }
  QORVidFraDialog* dialog = Dialog();
  const int button = _answered ? QORVidFraDialog::kOK : dialog ? dialog->GetLastClickedButton() : 0;
  if (_pScenario) {
    std::fputs(JsonLine("button", ButtonName(button)).c_str(), _pScenario);
    std::fflush(_pScenario);
  }
  if (_answered) {
    // The dialog took the page's answer, with or without a click on OK.
    if (!_answerFault.empty()) {
      errorText =
          "the page's answer is not a filter document: " + _answerFault + "; nothing written";
      return Outcome::Failed;
    }
    return Outcome::Confirmed;
  }
  // Closed before the page answered, OK clicked or not: nothing was confirmed.
  return Outcome::Cancelled;
}

void EditSession::OnPanelClosed(QORCommand*, QORNotification*, void*) {
  _closed = true;
  QOREventLoop::Host().Quit(0);
}

void EditSession::OnPageMessage(QORBaseUnknown*, QORVidJSMessageEventArgs* i_pArgs) {
  const std::vector<QORUnicodeString>& strings = i_pArgs->GetMessages();
  if (strings.size() == 2 && strings[0].Compare("onOkClick")) {
    // Checked where it lies: the answer is the whole document, and only its fault is kept.
    _answered = true;
    _answerFault = CheckAnswer(strings[1], _importColumn);
  }
  if (strings.size() == 2 && strings[0].Compare("onSaveClick") && _dumpPending) WriteSaveDump();
  _dumpPending = false;
}

void EditSession::OnDumpModel(QORCommand*, QORNotification* i_pNotification, void*) {
  QORUnicodeString text;
  if (!NotificationText(i_pNotification, text)) return;
  _dump = text.Str();
  _dumpPending = true;
}

void EditSession::WriteSaveDump() {
  ++_saves;
  if (_pScenario) {
    std::fputs(JsonLine("button", "Save").c_str(), _pScenario);
    std::fflush(_pScenario);
  }
  if (_output.empty()) return;
  std::string path = _output;
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1)) path.resize(dot);
  path += ".save-" + std::to_string(_saves) + ".json";
  // Written the way the output is: checked JSON, the file replaced only when complete.
  JSON::JIStream document;
  if (!document.Parse(std::string_view(_dump)) || !document.IsObject()) {
    std::fprintf(stderr,
                 "dxfilter: Save %d: the page's document is not a JSON object, not written\n",
                 _saves);
    return;
  }
  if (!JSON::JOStream(document).WriteFile(QORUnicodeString(path))) {
    const std::string why = QORTakeErrorText();
    std::fprintf(stderr, "dxfilter: cannot write %s%s%s\n", path.c_str(), why.empty() ? "" : ": ",
                 why.c_str());
    return;
  }
  std::fprintf(stderr, "dxfilter: Save: wrote %s\n", path.c_str());
}

void EditSession::OnPanelLoaded(QORCommand*, QORNotification*, void*) {
  SendReplay();
}

void EditSession::OnInteraction(QORCommand*, QORNotification* i_pNotification, void*) {
  if (!_pScenario) return;
  QORUnicodeString text;
  if (!NotificationText(i_pNotification, text)) return;
  std::fputs(JsonLine("interaction", text.Str()).c_str(), _pScenario);
  std::fflush(_pScenario);
}

void EditSession::SendReplay() {
  if (_replaySent || (_steps.empty() && _button.empty())) return;
  _replaySent = true;
  QORVidFraDialog* dialog = Dialog();
  if (!dialog) return;
  // The replay notifications are classes of the test driver module, made by name.
  QORFactoryFunction js = QORFillDictionary::FindFactory("QORInputFilterJSInteractionReplayNotif");
  QORFactoryFunction button =
      QORFillDictionary::FindFactory("QORInputFilterButtonInteractionReplayNotif");
  if (!js || !button) return;
  for (const Step& step : _steps) {
    QORUnicodeString data(step.text);
    SendNotification(dialog, static_cast<QORNotification*>((step.button ? button : js)(&data)));
  }
  if (!_button.empty()) {
    QORUnicodeString data(_button);
    SendNotification(dialog, static_cast<QORNotification*>(button(&data)));
  }
}
