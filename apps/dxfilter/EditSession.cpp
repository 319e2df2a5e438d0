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

// Why the columns of an answer are not those of a filter document; empty when they are.
// Gives the import column (the first boolean one, "" for none) as well.
std::string CheckColumns(const std::vector<JSON::JIStream>& columns, std::string& importColumn) {
  importColumn.clear();
  for (const JSON::JIStream& column : columns) {
    const std::string index = column.ReadString("dataIndex").Str();
    if (index.empty()) return "a column has no \"dataIndex\"";
    if (importColumn.empty() && column.ReadString("typeRepresentation").Str() == "boolean")
      importColumn = index;
  }
  return "";
}

// Why an answer of the page cannot be the filter document; empty when it can. Gives the
// import column as well.
std::string CheckAnswer(const QORUnicodeString& answer, std::string& importColumn) {
  JSON::JIStream document;
  // The kit leaves a message's long strings room to be parsed where they lie.
  if (!document.Parse(answer)) return "it is not valid JSON (" + document.LastError() + ")";
  if (!document.IsObject()) return "its top level is not a JSON object";
  if (document.GetType("data") != JSON::Type::Object) return "it has no \"data\" object";
  for (const char* key : {"columns", "roots"})
    if (document.GetType(key) != JSON::Type::Array)
      return std::string("it has no \"") + key + "\" array";
  return CheckColumns(document.ReadObjects("columns"), importColumn);
}

// Where the JSON value that starts at text[at] ends; npos when the text ends first. Only
// strings and nesting are followed: the text is known to be valid JSON.
size_t ValueEnd(std::string_view text, size_t at) {
  int depth = 0;
  for (; at < text.size(); ++at) {
    const char c = text[at];
    if (c == '"') {
      for (++at; at < text.size() && text[at] != '"'; ++at)
        if (text[at] == '\\') ++at;
      if (at >= text.size()) return std::string_view::npos;
    } else if (c == '{' || c == '[') {
      ++depth;
    } else if (c == '}' || c == ']') {
      if (--depth < 0) return at;
    } else if (depth == 0 && (c == ',' || c == ' ' || c == '\n' || c == '\t' || c == '\r')) {
      return at;
    }
    if (depth == 0 && (c == '"' || c == '}' || c == ']')) return at + 1;
  }
  return std::string_view::npos;
}

// CheckAnswer for an answer the dialog's generator has already parsed and taken (so valid
// JSON and an object): the members before and at "roots" are found by their brackets, and
// only the columns are parsed. A second parse of a 20 MB answer to read its first
// kilobytes cost more than the rest of the way to the written file. False when the text
// is not as expected (a key with escapes, say): the caller then parses it whole.
bool CheckTakenAnswer(std::string_view text, std::string& fault, std::string& importColumn) {
  const auto blank = [&](size_t at) { return text.find_first_not_of(" \t\r\n", at); };
  size_t at = blank(0);
  if (at == std::string_view::npos || text[at] != '{') return false;
  std::string_view data, columns, roots;
  for (at = blank(at + 1); at != std::string_view::npos && text[at] == '"';) {
    const size_t keyEnd = text.find('"', at + 1);
    if (keyEnd == std::string_view::npos) return false;
    const std::string_view key = text.substr(at + 1, keyEnd - at - 1);
    if (key.find('\\') != std::string_view::npos) return false;
    const size_t colon = blank(keyEnd + 1);
    if (colon == std::string_view::npos || text[colon] != ':') return false;
    const size_t value = blank(colon + 1);
    if (value == std::string_view::npos) return false;
    // The tree is the bulk of the text: reached after the rest, its end is not looked for
    // (a walk through 20 MB, to learn nothing new).
    if (key == "roots" && roots.empty() && !data.empty() && !columns.empty()) {
      roots = text.substr(value, 1);
      break;
    }
    const size_t end = ValueEnd(text, value);
    if (end == std::string_view::npos) return false;
    std::string_view* member = key == "data"      ? &data
                               : key == "columns" ? &columns
                               : key == "roots"   ? &roots
                                                  : nullptr;
    // The first of repeated keys counts, as a parse reads it.
    if (member && member->empty()) *member = text.substr(value, end - value);
    // The tree is the bulk of the text: once it is reached, what matters is known.
    if (!data.empty() && !columns.empty() && !roots.empty()) break;
    at = blank(end);
    if (at == std::string_view::npos) return false;
    if (text[at] == '}') break;
    if (text[at] != ',') return false;
    at = blank(at + 1);
  }
  fault.clear();
  if (data.empty() || data[0] != '{')
    fault = "it has no \"data\" object";
  else if (columns.empty() || columns[0] != '[')
    fault = "it has no \"columns\" array";
  else if (roots.empty() || roots[0] != '[')
    fault = "it has no \"roots\" array";
  if (!fault.empty()) return true;
  JSON::JIStream parsed;
  if (!parsed.Parse("{\"columns\":" + std::string(columns) + "}")) return false;
  fault = CheckColumns(parsed.ReadObjects("columns"), importColumn);
  return true;
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
  // The page's answer is heard beside the dialog: before it, which may hand the text to
  // the generator to keep, and after it, which tells whether the generator took it.
  if (QORVidFraDialog* dialog = Dialog()) {
    if (QORVidWidget* viewer = dialog->GetApplicativeWidget()) {
      QOREventHandler* first = new QORMethodEventHandler<EditSession, QORVidJSMessageEventArgs>(
          this, &EditSession::OnPageMessageFirst);
      viewer->AddHandlerFirst(QORVidCtlWebViewer::JSMessage(), first, 1);
      first->Release();
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

void EditSession::OnPageMessageFirst(QORBaseUnknown*, QORVidJSMessageEventArgs* i_pArgs) {
  const std::vector<QORUnicodeString>& strings = i_pArgs->GetMessages();
  // The answer's front, read before the generator may keep the text; it counts only if
  // the generator's parse then takes the text as valid JSON.
  if (strings.size() == 2 && strings[0].Compare("onOkClick"))
    _answerChecked = CheckTakenAnswer(strings[1].View(), _answerFault, _importColumn);
}

void EditSession::OnPageMessage(QORBaseUnknown*, QORVidJSMessageEventArgs* i_pArgs) {
  const std::vector<QORUnicodeString>& strings = i_pArgs->GetMessages();
  if (strings.size() == 2 && strings[0].Compare("onOkClick")) {
    // Only the answer's fault is kept. The dialog gave it to the generator, which parsed
    // it; an answer that the generator refused (and so left in the message) ends the
    // dialog as a Cancel, and is parsed again only to say why.
    _answered = true;
    QORVidFraDialog* dialog = Dialog();
    const bool taken = dialog && dialog->GetLastClickedButton() != QORVidFraDialog::kCancel;
    if (!taken || !_answerChecked) _answerFault = CheckAnswer(strings[1], _importColumn);
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
