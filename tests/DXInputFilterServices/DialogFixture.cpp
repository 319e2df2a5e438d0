// DialogFixture.cpp - the dialog fixture, child processes per switch set, and the
// look-up of the dialog's unexported show.
#include "DialogFixture.h"

#include <algorithm>
#include <map>

#include "DataExchangeUtilities/QORDXUnicodeString.h"
#include "DialogToolkit/QORDialogToolkit.h"
#include "EventToolkit/QORDynamicCast.h"
#include "EventToolkit/QOREventLoop.h"
#include "ObjectModelRuntime/QORFillDictionary.h"
#include "ObjectModelRuntime/QOROMModule.h"
#include "QORInputFilterNotifWithString.h"

namespace dxtest {

// --- father command and replays

FatherCommand::FatherCommand() : QORCommand(nullptr, "father") {
  for (const char* name :
       {"QORInputFilterPanelClosedNotif", "QORInputFilterPanelLoadedNotif",
        "QORInputFilterDumpModelNotif", "QORInputFilterInteractionRecordNotif",
        "QORInputFilterButtonInteractionReplayNotif", "QORInputFilterJSInteractionReplayNotif"})
    AddAnalyseNotificationCB(nullptr, name, static_cast<QORCommandMethod>(&FatherCommand::Take),
                             nullptr);
}

void FatherCommand::Take(QORCommand* sender, QORNotification* notification, void*) {
  std::string name = notification->IsA();
  // "QORInputFilter" + name + "Notif"
  name = name.substr(14, name.size() - 19);
  if (auto* withString = QORDynamicCast<QORInputFilterNotifWithString>(notification))
    name += " " + withString->GetDataString().Str();
  names.push_back(name);
  senders.push_back(sender);
  modes.push_back(notification->GetMode());
}

// --- scripts

std::string InitScript(std::string_view escapedDocument, bool testMode) {
  const std::string init = "Filter.init('" + std::string(escapedDocument) + "'); ";
  return "require(['ZQ/DXInputFilterDisplay/Filter'], function(Filter) { " +
         (testMode
              ? "            require(['ZQ/SelectiveWebUI_TST/InputFilteringSimulateScenario'], "
                "function(simulationServices) {                 "
                "Filter.registerInteractions(simulationServices);" +
                    init + "});"
              : init) +
         "});";
}

std::string SendNewJsonScript(std::string_view answer) {
  return "require(['ZQ/DXInputFilterDisplay/Filter'], function(Filter) { Filter.sendNewJson('" +
         std::string(answer) + "'); });";
}

std::string Escaped(std::string_view document) {
  QORDXUnicodeString escaped = QORDXUnicodeString(QORUnicodeString(document)).EscapeJSON();
  escaped.ReplaceAll("'", "\\'");
  return escaped.Str();
}

// --- the dialog's unexported show

namespace {

constexpr const char* kInitAndShow =
    "_ZN11DXWebViewer11InitAndShowE16QORUnicodeStringP16DXWebViewerOwner";

// Called through its address, the object first as the platform's calling convention
// passes it. The dialog classes derive singly, so the dialog's address is the
// DXWebViewer's.
HRESULT InitAndShowWithoutOwner(QORVidFraDialog* dialog, const QORUnicodeString& text) {
  using Method = HRESULT (*)(void*, QORUnicodeString, void*);
  return reinterpret_cast<Method>(HiddenSymbol(kInitAndShow))(dialog, text, nullptr);
}

}  // namespace

// --- events

void Raise(QORVidWidget* widget, QOREvent* event, QOREventArgs* args) {
  widget->RaiseEvent(event, args);
  args->Release();
}

void RaiseLoadStart(QORVidCtlWebViewer* viewer) {
  Raise(viewer, QORVidCtlWebViewer::LoadStart(), new QORSYPEventArgs());
}

void RaisePageMessage(QORVidCtlWebViewer* viewer, const std::vector<std::string>& strings) {
  std::vector<QORUnicodeString> messages;
  for (const std::string& s : strings) messages.emplace_back(s);
  Raise(viewer, QORVidCtlWebViewer::JSMessage(), new QORVidJSMessageEventArgs(std::move(messages)));
}

OwnerlessDialog::OwnerlessDialog(const std::string& text) {
  // A stripped module has no symbol table to find it in.
  EXPECT_NE(HiddenSymbol(kInitAndShow), nullptr);
  dialog = static_cast<QORVidFraDialog*>(QORFillDictionary::FindFactory("DXWebViewer")(nullptr));
  if (!dialog || !HiddenSymbol(kInitAndShow)) return;
  EXPECT_EQ(InitAndShowWithoutOwner(dialog, QORUnicodeString(text.data(), text.size())), S_OK);
  viewer = QORDynamicCast<QORVidCtlWebViewer>(dialog->GetApplicativeWidget());
  EXPECT_NE(viewer, nullptr);
}

OwnerlessDialog::~OwnerlessDialog() {
  if (dialog) dialog->RequestDelayedDestruction();
}

void RunDelayedDestructions() {
  for (int turn = 0; turn < 4; ++turn) QOREventLoop::Host().RunPending();
}

// --- fixture

void DialogFixture::SetUp() {
  ASSERT_TRUE(LoadFilterModule());
  // The replays come from the driver's module, as in a test driver's process.
  std::string why;
  ASSERT_TRUE(QORSucceeded(QORLoadModule("libDXInputFilterTestDriver.so", &why))) << why;
  QORDialogToolkit::SetBackend(QORDialogToolkit::Backend::None);
  _previousSink =
      QORSetCheckSink([this](const QORCheckReport& report) { checks.push_back(report); });
  RunDelayedDestructions();  // whatever an earlier test left queued
  GeneratorFixture::SetUp();
}

void DialogFixture::TearDown() {
  generator.Reset();
  RunDelayedDestructions();
  QORSetCheckSink(std::move(_previousSink));
  // The dialog, its viewer, their handlers and every notification are gone with the
  // generator, and nothing failed a check unless the test took the report.
  GeneratorFixture::TearDown();
  EXPECT_TRUE(father.GetChildren().empty());
  for (const QORCheckReport& report : checks)
    ADD_FAILURE() << "check failed: " << report.expression << " (" << report.file << ":"
                  << report.line << ")";
}

QORVidFraDialog* DialogFixture::Show() {
  return generator->ShowFilterDialog(&father) == S_OK ? Dialog() : nullptr;
}

QORVidFraDialog* DialogFixture::Dialog() const {
  QORVidFraDialog* newest = nullptr;
  for (QORCommand* child : father.GetChildren())
    if (child->IsAKindOf("DXWebViewer")) newest = QORDynamicCast<QORVidFraDialog>(child);
  return newest;
}

QORVidCtlWebViewer* DialogFixture::Viewer() const {
  QORVidFraDialog* dialog = Dialog();
  return dialog ? QORDynamicCast<QORVidCtlWebViewer>(dialog->GetApplicativeWidget()) : nullptr;
}

void DialogFixture::Do(const std::string& step) {
  SCOPED_TRACE(step);
  const size_t colon = step.find(':');
  const std::string verb = step.substr(0, colon);
  const std::string rest = colon == std::string::npos ? "" : step.substr(colon + 1);
  const std::map<std::string, int> buttons = {{"OK", QORVidFraDialog::kOK},
                                              {"Cancel", QORVidFraDialog::kCancel},
                                              {"Save", QORVidFraDialog::kSave},
                                              {"Apply", QORVidFraDialog::kApply}};
  if (verb == "load") {
    RaiseLoadStart(Viewer());
  } else if (buttons.count(verb)) {
    Dialog()->ClickStandardButton(buttons.at(verb));
  } else if (verb == "close") {
    Raise(Dialog(), QORVidFraWindow::Closed(), new QORSYPEventArgs());
  } else if (verb == "page") {
    std::vector<std::string> strings;
    for (size_t at = 0; colon != std::string::npos && at <= rest.size();) {
      const size_t bar = std::min(rest.find('|', at), rest.size());
      strings.push_back(rest.substr(at, bar - at));
      at = bar + 1;
    }
    RaisePageMessage(Viewer(), strings);
  } else if (verb == "replay" || verb == "simulate") {
    QORFactoryFunction make = QORFillDictionary::FindFactory(
        verb == "replay" ? "QORInputFilterButtonInteractionReplayNotif"
                         : "QORInputFilterJSInteractionReplayNotif");
    ASSERT_NE(make, nullptr) << "the test driver module made no replay";
    const QORUnicodeString data(rest);
    auto* replay = static_cast<QORNotification*>(make(const_cast<QORUnicodeString*>(&data)));
    driver.SendNotification(Dialog(), replay);
  } else {
    FAIL() << "no such step";
  }
}

}  // namespace dxtest
