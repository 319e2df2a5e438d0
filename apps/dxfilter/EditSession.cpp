// EditSession.cpp - showing the dialog, waiting for it, recording and replaying.
#include "EditSession.h"

#include <signal.h>

#include <thread>

#include "DialogToolkit/QORVidFraDialog.h"
#include "EventToolkit/QOREventLoop.h"
#include "ObjectModelRuntime/QORFillDictionary.h"
#include "ResolvedTable.h"

namespace {

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
  std::thread([set] {
    int signal = 0;
    if (sigwait(&set, &signal) == 0) QOREventLoop::Host().Quit(128 + signal);
  }).detach();
}

std::string JsonLine(const char* key, const std::string& value) {
  std::string line = std::string("{\"") + key + "\":\"";
  for (char c : value) {
    if (c == '"' || c == '\\') line += '\\';
    if (static_cast<unsigned char>(c) < 0x20) continue;  // interaction texts have none
    line += c;
  }
  return line + "\"}\n";
}

const char* ButtonName(int button) {
  switch (button) {
    case QORVidFraDialog::kOK: return "OK";
    case QORVidFraDialog::kSave: return "Save";
    case QORVidFraDialog::kCancel: return "Cancel";
    default: return "Close";
  }
}

}  // namespace

EditSession::EditSession() : QORCommand(nullptr, "dxfilter") {
  AddAnalyseNotificationCB(nullptr, "QORInputFilterPanelClosedNotif",
                           static_cast<QORCommandMethod>(&EditSession::OnPanelClosed), nullptr);
  AddAnalyseNotificationCB(nullptr, "QORInputFilterPanelLoadedNotif",
                           static_cast<QORCommandMethod>(&EditSession::OnPanelLoaded), nullptr);
  AddAnalyseNotificationCB(nullptr, "QORInputFilterInteractionRecordNotif",
                           static_cast<QORCommandMethod>(&EditSession::OnInteraction), nullptr);
}

EditSession::~EditSession() = default;

void EditSession::Replay(std::vector<std::string> interactions, std::string button) {
  _interactions = std::move(interactions);
  _button = std::move(button);
}

QORVidFraDialog* EditSession::Dialog() const {
  for (QORCommand* child : GetChildren())
    if (child->IsAKindOf("QORVidFraDialog")) return static_cast<QORVidFraDialog*>(child);
  return nullptr;
}

EditSession::Outcome EditSession::Run(QORIInputFilterGenerator& generator, std::string& errorText) {
  WatchSignals();
  HRESULT hr = generator.ShowFilterDialog(this);
  if (QORFailed(hr)) {
    errorText = "cannot show the filter dialog";
    return Outcome::Failed;
  }
  QOREventLoop& loop = QOREventLoop::Host();
  while (!_closed) {
    int code = 0;
    loop.Post([] {});  // wake once so a close that already happened is seen
    code = loop.Run();
    if (code != 0) return Outcome::Interrupted;
  }
  QORVidFraDialog* dialog = Dialog();
  const int button = dialog ? dialog->GetLastClickedButton() : 0;
  if (_pScenario) {
    std::fputs(JsonLine("button", ButtonName(button)).c_str(), _pScenario);
    std::fflush(_pScenario);
  }
  return button == QORVidFraDialog::kOK ? Outcome::Confirmed : Outcome::Cancelled;
}

void EditSession::OnPanelClosed(QORCommand*, QORNotification*, void*) {
  _closed = true;
  QOREventLoop::Host().Quit(0);
}

void EditSession::OnPanelLoaded(QORCommand*, QORNotification*, void*) { SendReplay(); }

void EditSession::OnInteraction(QORCommand*, QORNotification* i_pNotification, void*) {
  if (!_pScenario) return;
  // The notification's class lives in the filtering module; the test driver reads it.
  QORFactoryFunction readText = QORFillDictionary::FindFactory("DXInputFilterNotificationText");
  if (!readText) return;
  QORUnicodeString text;
  struct {
    QORNotification* notification;
    QORUnicodeString* text;
  } request{i_pNotification, &text};
  if (!readText(&request)) return;
  std::fputs(JsonLine("interaction", text.Str()).c_str(), _pScenario);
  std::fflush(_pScenario);
}

void EditSession::SendReplay() {
  if (_replaySent || (_interactions.empty() && _button.empty())) return;
  _replaySent = true;
  QORVidFraDialog* dialog = Dialog();
  if (!dialog) return;
  // The replay notifications are classes of the test driver module, made by name.
  QORFactoryFunction js = QORFillDictionary::FindFactory("QORInputFilterJSInteractionReplayNotif");
  QORFactoryFunction button =
      QORFillDictionary::FindFactory("QORInputFilterButtonInteractionReplayNotif");
  if (!js || !button) return;
  for (const std::string& interaction : _interactions) {
    QORUnicodeString data(interaction);
    SendNotification(dialog, static_cast<QORNotification*>(js(&data)));
  }
  if (!_button.empty()) {
    QORUnicodeString data(_button);
    SendNotification(dialog, static_cast<QORNotification*>(button(&data)));
  }
}
