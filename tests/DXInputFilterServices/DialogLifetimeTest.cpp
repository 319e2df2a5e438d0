// DialogLifetimeTest.cpp - who frees the dialog and when, what reaches it once its
// owner let it go, the check reports of its handlers, its factory, and the
// notifications it sends.
#include <gtest/gtest.h>

#include "DialogFixture.h"
#include "EventToolkit/QORDynamicCast.h"
#include "EventToolkit/QOREventLoop.h"
#include "ObjectModelRuntime/QORFillDictionary.h"
#include "ObjectModelRuntime/QORWeakRef.h"
#include "fctCreateDXWebViewer.h"

namespace dxtest {
namespace {

constexpr const char* kDocument = R"({"data":{"filterID":"F-1"},"roots":[{"label":"Site"}]})";
constexpr const char* kOther = R"({"data":{"filterID":"F-2"},"roots":[]})";
constexpr const char* kAnswer = R"({"data":{"filterID":"F-1"},"roots":[{"label":"Edited"}]})";

using Names = std::vector<std::string>;

// --- one dialog per document

using DialogLifetime = DialogFixture;

TEST_F(DialogLifetime, SecondShowFailsWhileTheDialogIsKeptEvenClosed) {
  DX_DIALOG_PROCESS(NormalMode());
  ASSERT_EQ(Load(kDocument), S_OK);
  QORVidFraDialog* first = Show();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(generator->ShowFilterDialog(&father), E_FAIL);
  Click(QORVidFraDialog::kCancel);
  ASSERT_EQ(first->GetVisibleFlag(), 0);
  EXPECT_EQ(generator->ShowFilterDialog(&father), E_FAIL);
  EXPECT_EQ(father.GetChildren().size(), 1u);

  // A new document, loaded or generated, lets a new dialog be shown.
  ASSERT_EQ(Load(kOther), S_OK);
  QORVidFraDialog* second = Show();
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, first);
  EXPECT_EQ(generator->ShowFilterDialog(&father), E_FAIL);
  ASSERT_EQ(Generate(), S_OK);
  EXPECT_NE(Show(), nullptr);
}

TEST_F(DialogLifetime, NewDocumentDropsTheDialogOnALaterTurnOfTheLoop) {
  DX_DIALOG_PROCESS(NormalMode());
  for (bool generate : {true, false}) {
    SCOPED_TRACE(generate ? "GenerateDocument" : "LoadDocumentFromFile");
    ASSERT_EQ(Load(kDocument), S_OK);
    QORVidFraDialog* dialog = Show();
    ASSERT_NE(dialog, nullptr);
    QORWeakRef dialogRef(dialog), viewerRef(Viewer());
    ASSERT_TRUE(viewerRef.IsAlive());

    ASSERT_EQ(generate ? Generate() : Load(kOther), S_OK);
    // Not inside the call: the caller may be one of the dialog's own handlers.
    EXPECT_TRUE(dialogRef.IsAlive());
    EXPECT_TRUE(dialog->IsDestructionRequested());
    EXPECT_TRUE(viewerRef.IsAlive());

    RunDelayedDestructions();
    EXPECT_FALSE(dialogRef.IsAlive());
    EXPECT_FALSE(viewerRef.IsAlive());
    EXPECT_TRUE(father.GetChildren().empty());
  }
}

TEST_F(DialogLifetime, AnswerReachingADroppedDialogLeavesTheNewDocumentAlone) {
  DX_DIALOG_PROCESS(NormalMode());
  ASSERT_EQ(Load(kDocument), S_OK);
  ASSERT_NE(Show(), nullptr);
  QORVidCtlWebViewer* oldViewer = Viewer();
  LoadStart();
  ASSERT_EQ(Generate(), S_OK);
  const std::string generated = Document();

  // The old page answers before the loop gets round to freeing its dialog.
  RaisePageMessage(oldViewer, {"onOkClick", kAnswer});
  EXPECT_EQ(Document(), generated);
}

class DialogOwnerGone : public DialogFixture, public ::testing::WithParamInterface<bool> {};

TEST_P(DialogOwnerGone, PageAnswerAfterTheGeneratorIsReleasedReachesNothingFreed) {
  DX_DIALOG_PROCESS(GetParam() ? TestMode() : NormalMode());
  ASSERT_EQ(Load(kDocument), S_OK);
  ASSERT_NE(Show(), nullptr);
  QORVidCtlWebViewer* viewer = Viewer();
  QORWeakRef dialogRef(Dialog());
  LoadStart();

  // One answer is already queued on the host loop when the host lets the generator
  // go, another comes in before the loop turns.
  QOREventLoop::Host().Post([viewer] { RaisePageMessage(viewer, {"onOkClick", kAnswer}); });
  generator.Reset();
  RaisePageMessage(viewer, {"onOkClick", kAnswer});
  RaiseLoadStart(viewer);
  RunDelayedDestructions();

  // The answers had nobody to hand the document to: nothing closed, nothing dumped.
  EXPECT_EQ(father.Names(), Names{});
  EXPECT_FALSE(dialogRef.IsAlive());
}

INSTANTIATE_TEST_SUITE_P(Modes, DialogOwnerGone, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "TestMode" : "NormalMode";
                         });

class DialogObjects : public DialogFixture, public ::testing::WithParamInterface<bool> {};

TEST_P(DialogObjects, EverythingTheDialogMadeIsFreedOnceAfterTheGeneratorGoes) {
  DX_DIALOG_PROCESS(GetParam() ? TestMode() : NormalMode());
  // The fixture's tear-down compares the live objects with those before the
  // generator; this drives every path that makes one first.
  ASSERT_EQ(Load(kDocument), S_OK);
  ASSERT_NE(Show(), nullptr);
  QORWeakRef dialogRef(Dialog()), viewerRef(Viewer());
  LoadStart();
  PageSays({"onLoad"});
  PageSays({"registerInteraction", "{}"});
  PageSays({"onSaveClick", kAnswer});
  Click(QORVidFraDialog::kOK);
  Replay(ButtonReplay("OK"));
  Replay(PageReplay("{}"));
  PageSays({"onOkClick", kAnswer});
  CloseWindow();
  Click(QORVidFraDialog::kCancel);
  EXPECT_FALSE(father.taken.empty());

  generator.Reset();
  EXPECT_TRUE(dialogRef.IsAlive());
  RunDelayedDestructions();
  EXPECT_FALSE(dialogRef.IsAlive());
  EXPECT_FALSE(viewerRef.IsAlive());
}

INSTANTIATE_TEST_SUITE_P(Modes, DialogObjects, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "TestMode" : "NormalMode";
                         });

// --- check reports of the handlers

using DialogChecks = DialogFixture;

bool FromDialogSource(const QORCheckReport& report) {
  const std::string suffix = "DXWebViewer.cpp";
  return report.file.size() >= suffix.size() &&
         report.file.compare(report.file.size() - suffix.size(), suffix.size(), suffix) == 0;
}

TEST_F(DialogChecks, ArgumentsOfTheWrongClassAreReportedAndDropped) {
  DX_DIALOG_PROCESS(NormalMode());
  ASSERT_EQ(Load(kDocument), S_OK);
  QORVidFraDialog* dialog = Show();
  ASSERT_NE(dialog, nullptr);
  Raise(Viewer(), QORVidCtlWebViewer::LoadStart(), new QORVidJSMessageEventArgs({"onLoad"}));
  Raise(Viewer(), QORVidCtlWebViewer::JSMessage(), new QORSYPEventArgs());
  Raise(dialog, QORVidFraDialog::RejectButtonClicked(), new QORSYPEventArgs());
  Raise(dialog, QORVidFraWindow::Closed(), new QORVidFraDialogButtonClickedEventArgs(16));
  EXPECT_EQ(TakeChecks(), (Names{"pArgs", "pArgs", "pArgs", "pArgs"}));
  EXPECT_TRUE(Scripts().empty());
  EXPECT_EQ(dialog->GetVisibleFlag(), 1);
  EXPECT_EQ(father.Names(), Names{});
}

TEST_F(DialogChecks, PageMessageWithoutSenderOrArgumentsIsReported) {
  DX_DIALOG_PROCESS(NormalMode());
  ASSERT_EQ(dialog_internals::Missing(), "");
  ASSERT_EQ(Load(kDocument), S_OK);
  QORVidFraDialog* dialog = Show();
  ASSERT_NE(dialog, nullptr);
  auto* args = new QORVidJSMessageEventArgs({QORUnicodeString("onLoad")});
  dialog_internals::OnPageMessage(dialog, nullptr, args);
  dialog_internals::OnPageMessage(dialog, Viewer(), nullptr);
  args->Release();
  ASSERT_EQ(checks.size(), 2u);
  EXPECT_TRUE(FromDialogSource(checks[0])) << checks[0].file;
  EXPECT_EQ(TakeChecks(), (Names{"i_pSender", "i_pArgs"}));
  EXPECT_EQ(father.Names(), Names{});
}

TEST_F(DialogChecks, ButtonClickWithoutArgumentsIsReported) {
  DX_DIALOG_PROCESS(NormalMode());
  ASSERT_EQ(dialog_internals::Missing(), "");
  ASSERT_EQ(Load(kDocument), S_OK);
  QORVidFraDialog* dialog = Show();
  ASSERT_NE(dialog, nullptr);
  dialog_internals::OnStandardButtonClicked(dialog, dialog, nullptr);
  ASSERT_EQ(checks.size(), 1u);
  EXPECT_TRUE(FromDialogSource(checks[0])) << checks[0].file;
  EXPECT_EQ(TakeChecks(), Names{"i_pArgs"});
  EXPECT_TRUE(Scripts().empty());
}

TEST_F(DialogChecks, DialogWithoutViewerReportsItInsteadOfActing) {
  DX_DIALOG_PROCESS(NormalMode());
  ASSERT_EQ(dialog_internals::Missing(), "");
  auto* dialog = static_cast<QORVidFraDialog*>(fctCreateDXWebViewer(nullptr));
  ASSERT_NE(dialog, nullptr);
  auto* click = new QORVidFraDialogButtonClickedEventArgs(QORVidFraDialog::kOK);
  auto* message = new QORVidJSMessageEventArgs({QORUnicodeString("onLoad")});
  dialog_internals::OnStandardButtonClicked(dialog, dialog, click);
  dialog_internals::OnPageMessage(dialog, dialog, message);
  click->Release();
  message->Release();
  dialog->RequestDelayedDestruction();
  ASSERT_EQ(checks.size(), 2u);
  EXPECT_TRUE(FromDialogSource(checks[1])) << checks[1].file;
  EXPECT_EQ(TakeChecks(), (Names{"_pWebViewer", "_pWebViewer"}));
}

// --- the named factory

using DialogFactory = DialogFixture;

TEST_F(DialogFactory, NamedFactoryMakesABareDialog) {
  DX_DIALOG_PROCESS(NormalMode());
  QORFactoryFunction factory = QORFillDictionary::FindFactory("DXWebViewer");
  ASSERT_EQ(factory, &fctCreateDXWebViewer);
  auto* made = static_cast<QORBaseUnknown*>(factory(nullptr));
  ASSERT_NE(made, nullptr);
  EXPECT_STREQ(made->IsA(), "DXWebViewer");
  auto* dialog = QORDynamicCast<QORVidFraDialog>(made);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->GetFather(), nullptr);
  EXPECT_EQ(dialog->GetApplicativeWidget(), nullptr);
  EXPECT_EQ(dialog->GetVisibleFlag(), 0);
  EXPECT_EQ(dialog->GetStandardButtons(), 0);
  EXPECT_EQ(dialog->GetRefCount(), 1);
  dialog->RequestDelayedDestruction();
}

TEST_F(DialogFactory, FactoryGivesNothingWhenMemoryIsExhausted) {
  DX_DIALOG_PROCESS(NormalMode());
  const long live = QORLiveAllocations();
  QORFailNextAllocations(1);
  EXPECT_EQ(fctCreateDXWebViewer(nullptr), nullptr);
  QORFailNextAllocations(0);
  EXPECT_EQ(QORLiveAllocations(), live);
}

TEST_F(DialogFactory, ShowFailsWhenTheDialogCannotBeMade) {
  DX_DIALOG_PROCESS(NormalMode());
  ASSERT_EQ(Load(kDocument), S_OK);
  QORFailNextAllocations(1);
  EXPECT_EQ(generator->ShowFilterDialog(&father), E_FAIL);
  QORFailNextAllocations(0);
  EXPECT_TRUE(father.GetChildren().empty());
  // Nothing was kept of the attempt.
  EXPECT_NE(Show(), nullptr);
}

// --- the notifications

// Copies keep the text on both sides; a move takes it (construction) or swaps it
// (assignment), and the mode follows the source.
TEST(DialogNotificationText, CopiesKeepTheTextAndMovesTakeOrSwapIt) {
  QORInputFilterNotifWithString a(QORUnicodeString("a"), 1);
  QORInputFilterNotifWithString copy(a);
  QORInputFilterNotifWithString b(QORUnicodeString("b"), 2);
  b = a;
  for (const QORInputFilterNotifWithString* n : {&a, &copy, &b}) {
    EXPECT_EQ(n->GetDataString().Str(), "a");
    EXPECT_EQ(n->GetMode(), 1);
  }
  QORInputFilterNotifWithString moved(std::move(copy));
  EXPECT_EQ(moved.GetDataString().Str(), "a");
  EXPECT_EQ(copy.GetDataString().Str(), "");  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(moved.GetRefCount(), 1);
  QORInputFilterNotifWithString c(QORUnicodeString("c"), 3);
  c = std::move(b);
  EXPECT_EQ(c.GetDataString().Str(), "a");
  EXPECT_EQ(c.GetMode(), 1);
  EXPECT_EQ(b.GetDataString().Str(), "c");  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(QORInputFilterNotifWithString(-1).GetDataString().Str(), "");
  // Known by name, but the object model cannot make one by it.
  EXPECT_EQ(QORInputFilterNotifWithString::CreateItself(), nullptr);
  EXPECT_TRUE(a.IsAKindOf("QORNotification"));
  EXPECT_FALSE(a.IsAKindOf("QORInputFilterDumpModelNotif"));
}

using DialogNotificationKinds = DialogFixture;

TEST_F(DialogNotificationKinds, OnlyDumpAndRecordCarryText) {
  DX_DIALOG_PROCESS(TestMode());
  ASSERT_EQ(Load(kDocument), S_OK);
  ASSERT_NE(Show(), nullptr);
  PageSays({"onLoad"});
  PageSays({"registerInteraction", "r"});
  PageSays({"onSaveClick", "s"});
  Click(QORVidFraDialog::kCancel);
  ASSERT_EQ(father.Names(),
            (Names{"PanelLoaded", "InteractionRecord r", "DumpModel s", "PanelClosed"}));
  const bool withString[] = {false, true, true, false};
  for (size_t i = 0; i < father.taken.size(); ++i) {
    SCOPED_TRACE(father.taken[i].className);
    EXPECT_EQ(father.taken[i].kindOfWithString, withString[i]);
    EXPECT_TRUE(father.taken[i].kindOfNotification);
    EXPECT_EQ(father.taken[i].mode, -1);
    EXPECT_EQ(father.taken[i].sender, Dialog());
  }
}

}  // namespace
}  // namespace dxtest
