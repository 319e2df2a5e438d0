// DialogFixture.h - the filter dialog as the host shows it: a generator, a father
// command that records the notifications reaching it, and the dialog and its web
// viewer driven through the events the dialog toolkit raises (no backend: nothing is
// served, nothing opens).
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "CommandFramework/QORCommand.h"
#include "DialogToolkit/QORVidCtlWebViewer.h"
#include "DialogToolkit/QORVidFraDialog.h"
#include "DialogToolkit/QORVidFraDialogButtonClickedEventArgs.h"
#include "DialogToolkit/QORVidJSMessageEventArgs.h"
#include "EventToolkit/QORCheck.h"
#include "EventToolkit/QORSYPEventArgs.h"
#include "GeneratorFixture.h"

namespace dxtest {

// The switches of a dialog test's process: test mode (DXWebViewerForKWT) or not, none
// of the answer's saving for use (QORDX_SAVEANDUSE_JSONFILTER, QORTemp).
inline EnvChanges Mode(bool testMode) {
  return {{"DXWebViewerForKWT", testMode ? std::optional<std::string>("1") : std::nullopt},
          {"QORDX_SAVEANDUSE_JSONFILTER", std::nullopt},
          {"QORTemp", std::nullopt}};
}

// The father command the host hands to ShowFilterDialog. It takes the four
// notifications of the dialog, and the replays when nobody below took them.
class FatherCommand : public QORCommand {
 public:
  FatherCommand();
  // "PanelClosed", "DumpModel <text>", ... in the order taken; a text only for the
  // notifications that carry one.
  Names names;
  std::vector<QORCommand*> senders;
  std::vector<int> modes;

 private:
  void Take(QORCommand* sender, QORNotification* notification, void*);
};

// The replay notifications of test mode, made by the test driver module's factories as
// a driver makes them; null when the driver module cannot be loaded.

// The scripts the dialog gives its page.
std::string InitScript(std::string_view escapedDocument, bool testMode = false);
std::string SendNewJsonScript(std::string_view answer);  // 'onOkClick' or 'onSaveClick'
// A document as the init script quotes it: EscapeJSON, then every ' as \'.
std::string Escaped(std::string_view document);

// Raises an event on a widget as the toolkit does, then lets go of the arguments.
void Raise(QORVidWidget* widget, QOREvent* event, QOREventArgs* args);
void RaiseLoadStart(QORVidCtlWebViewer* viewer);
void RaisePageMessage(QORVidCtlWebViewer* viewer, const std::vector<std::string>& strings);

// A dialog made by the "DXWebViewer" factory, shown over any text through its own
// unexported show, without owner (the toolkit never makes one so); destroyed on a later
// turn of the loop.
class OwnerlessDialog {
 public:
  explicit OwnerlessDialog(const std::string& text);
  ~OwnerlessDialog();
  QORVidFraDialog* dialog = nullptr;
  QORVidCtlWebViewer* viewer = nullptr;
  Names Scripts() const { return viewer ? viewer->GetScripts() : Names{}; }
};

// Runs the host loop's queued work a few turns: a delayed destruction may queue one more.
void RunDelayedDestructions();

class DialogFixture : public GeneratorFixture {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Shows the dialog under the father command; the dialog, or null when it failed.
  QORVidFraDialog* Show();
  // The father's newest filter dialog, and its web viewer.
  QORVidFraDialog* Dialog() const;
  QORVidCtlWebViewer* Viewer() const;

  // One step of what the user, the page or a test driver does: "load" (the page
  // starts loading), "OK" "Cancel" "Save" "Apply" (a button), "close" (the window),
  // "page:<string>|<string>..." (a page message), "replay:<button>" and
  // "simulate:<interaction>" (a driver's replays).
  void Do(const std::string& step);
  Names Scripts() const { return Viewer() ? Viewer()->GetScripts() : Names{}; }

  FatherCommand father;
  QORCommand driver{nullptr, "driver"};
  std::vector<QORCheckReport> checks;

 private:
  QORCheckSink _previousSink;
};

}  // namespace dxtest
