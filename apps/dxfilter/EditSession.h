// EditSession.h - the father command of an interactive filtering: it shows the filter
// dialog of a generator, runs the host event loop until the dialog reports that it
// closed, and tells whether the user confirmed.
//
// In test mode it also records the page's interactions as they are reported, and can
// replay a recorded scenario into the dialog through the replay notifications. A click
// on Save (test mode) is recorded and replayed in its place among the interactions, and
// the document the page then reports is written beside the output.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "CommandFramework/QORCommand.h"
#include "InputFilteringInterfaces/QORIInputFilterGenerator.h"

class QORBaseUnknown;
class QORVidFraDialog;
class QORVidJSMessageEventArgs;

class EditSession : public QORCommand {
 public:
  enum class Outcome { Confirmed, Cancelled, Interrupted, Failed };
  // One step of a replay: a page interaction, or a click on a standard button before
  // the final one (Save).
  struct Step {
    bool button = false;
    std::string text;
  };

  EditSession();
  ~EditSession() override;

  // Appends each interaction the page reports (and the final button) to this file,
  // one JSON object a line, as they come.
  void RecordTo(FILE* scenario) { _pScenario = scenario; }
  // Steps and the final button to send once the page said it is ready.
  void Replay(std::vector<Step> steps, std::string button);
  // Where the documents reported on Save go: output "x.json" gives x.save-1.json,
  // x.save-2.json... in the order of the clicks. Empty: not written.
  void SaveDumpsBeside(const std::string& output) { _output = output; }
  // Run gives up (Failed) when the dialog has not closed within this time.
  void SetTimeLimit(std::chrono::seconds limit) { _limit = limit; }

  // Shows the dialog and waits; errorText explains Failed.
  Outcome Run(QORIInputFilterGenerator& generator, std::string& errorText);
  // After Confirmed: the dataIndex of the confirmed document's first boolean column (the
  // import tick), "" when it has none.
  const std::string& ImportColumn() const { return _importColumn; }

  void OnPanelLoaded(QORCommand* i_pSender, QORNotification* i_pNotification, void* i_pClientData);
  void OnPanelClosed(QORCommand* i_pSender, QORNotification* i_pNotification, void* i_pClientData);
  void OnInteraction(QORCommand* i_pSender, QORNotification* i_pNotification, void* i_pClientData);
  void OnDumpModel(QORCommand* i_pSender, QORNotification* i_pNotification, void* i_pClientData);
  // The page's messages, heard before the dialog acts on them and after.
  void OnPageMessageFirst(QORBaseUnknown* i_pSender, QORVidJSMessageEventArgs* i_pArgs);
  void OnPageMessage(QORBaseUnknown* i_pSender, QORVidJSMessageEventArgs* i_pArgs);

 private:
  QORVidFraDialog* Dialog() const;
  void SendReplay();
  void WriteSaveDump();

  bool _closed = false;
  // The document the page sent with "onOkClick", which the dialog then takes: checked
  // here, since the dialog keeps its own document when the answer is unusable.
  bool _answered = false;
  bool _answerChecked = false;  // its front read before the dialog took it
  std::string _answerFault;     // why the answer is no filter document; empty when it is
  std::string _importColumn;
  bool _replaySent = false;
  std::chrono::seconds _limit{0};
  FILE* _pScenario = nullptr;
  std::vector<Step> _steps;
  std::string _button;
  std::string _output;
  // The dialog reports OK and Save answers alike; the page's message that follows
  // tells which, so the last report waits here until then.
  std::string _dump;
  bool _dumpPending = false;
  int _saves = 0;
};
