// DialogLifetimeTest.cpp - who frees the dialog and when, what reaches it once its
// owner let it go, its factory, and the notifications it sends.
#include <gtest/gtest.h>

#include "DialogFixture.h"
#include "EventToolkit/QOREventLoop.h"
#include "ObjectModelRuntime/QORWeakRef.h"
#include "QORInputFilterNotifWithString.h"
#include "fctCreateDXWebViewer.h"

namespace dxtest {
namespace {

constexpr const char* kDocument = R"({"data":{"filterID":"F-1"},"roots":[{"label":"Site"}]})";
constexpr const char* kAnswer = R"({"data":{"filterID":"F-1"},"roots":[{"label":"Edited"}]})";

using DialogLifetime = DialogFixture;

// One dialog per document: a second show fails while the first is kept, even closed;
// a new document, loaded or generated, drops the dialog on a later turn of the loop
// (the caller may be one of its own handlers) and lets a new one be shown.
TEST_F(DialogLifetime, OneDialogPerDocumentDroppedOnALaterTurn) {
  DX_IN_PROCESS(Mode(false));
  for (bool generate : {true, false}) {
    SCOPED_TRACE(generate ? "GenerateDocument" : "LoadDocumentFromFile");
    ASSERT_EQ(Load(kDocument), S_OK);
    QORVidFraDialog* dialog = Show();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(generator->ShowFilterDialog(&father), E_FAIL);
    Do("Cancel");
    EXPECT_EQ(generator->ShowFilterDialog(&father), E_FAIL);
    EXPECT_EQ(father.GetChildren().size(), 1u);
    QORWeakRef dialogRef(dialog), viewerRef(Viewer());

    ASSERT_EQ(generate ? Generate() : Load(R"({"roots":[]})"), S_OK);
    EXPECT_TRUE(dialogRef.IsAlive());
    EXPECT_TRUE(dialog->IsDestructionRequested());
    EXPECT_TRUE(viewerRef.IsAlive());
    QORVidFraDialog* second = Show();
    EXPECT_NE(second, nullptr);
    EXPECT_NE(second, dialog);
    ASSERT_EQ(Load(kDocument), S_OK);

    RunDelayedDestructions();
    EXPECT_FALSE(dialogRef.IsAlive());
    EXPECT_FALSE(viewerRef.IsAlive());
    EXPECT_TRUE(father.GetChildren().empty());
  }
}

TEST_F(DialogLifetime, AnswerReachingADroppedDialogLeavesTheNewDocumentAlone) {
  DX_IN_PROCESS(Mode(false));
  ASSERT_EQ(Load(kDocument), S_OK);
  ASSERT_NE(Show(), nullptr);
  QORVidCtlWebViewer* oldViewer = Viewer();
  Do("load");
  ASSERT_EQ(Generate(), S_OK);
  const std::string generated = Document();
  // The old page answers before the loop gets round to freeing its dialog.
  RaisePageMessage(oldViewer, {"onOkClick", kAnswer});
  EXPECT_EQ(Document(), generated);
}

class DialogOwnerGone : public DialogFixture, public ::testing::WithParamInterface<bool> {};

// The fixture's tear-down compares the live objects with those before the generator;
// this drives every path that makes one first, then lets the generator go while
// answers are still on their way.
TEST_P(DialogOwnerGone, EverythingIsFreedOnceAndLateAnswersReachNothing) {
  DX_IN_PROCESS(Mode(GetParam()));
  ASSERT_EQ(Load(kDocument), S_OK);
  ASSERT_NE(Show(), nullptr);
  QORVidCtlWebViewer* viewer = Viewer();
  QORWeakRef dialogRef(Dialog()), viewerRef(viewer);
  for (const char* step : {"load", "page:onLoad", "page:registerInteraction|{}",
                           "page:onSaveClick|{}", "OK", "replay:OK", "simulate:{}"})
    Do(step);
  father.names.clear();

  // One answer is already queued on the host loop when the host lets the generator
  // go, another comes in before the loop turns.
  QOREventLoop::Host().Post([viewer] { RaisePageMessage(viewer, {"onOkClick", kAnswer}); });
  generator.Reset();
  EXPECT_TRUE(dialogRef.IsAlive());
  RaisePageMessage(viewer, {"onOkClick", kAnswer});
  RaiseLoadStart(viewer);
  RunDelayedDestructions();

  // The answers had nobody to hand the document to: nothing closed, nothing dumped.
  EXPECT_EQ(father.names, Names{});
  EXPECT_FALSE(dialogRef.IsAlive());
  EXPECT_FALSE(viewerRef.IsAlive());
}

INSTANTIATE_TEST_SUITE_P(Modes, DialogOwnerGone, ::testing::Bool());

// --- the named factory; the ownerless dialogs elsewhere come from it

TEST_F(DialogLifetime, FailedAllocationMakesNoDialogAndShowFailsWithIt) {
  DX_IN_PROCESS(Mode(false));
  const long live = QORLiveAllocations();
  QORFailNextAllocations(1);
  EXPECT_EQ(fctCreateDXWebViewer(nullptr), nullptr);
  EXPECT_EQ(QORLiveAllocations(), live);
  ASSERT_EQ(Load(kDocument), S_OK);
  QORFailNextAllocations(1);
  EXPECT_EQ(generator->ShowFilterDialog(&father), E_FAIL);
  QORFailNextAllocations(0);
  EXPECT_TRUE(father.GetChildren().empty());
  // Nothing was kept of the attempt.
  EXPECT_NE(Show(), nullptr);
}

// Copies keep the text on both sides; a move takes it (construction) or swaps it
// (assignment), and the mode follows the source.
TEST(DialogNotificationText, CopiesKeepTheTextAndMovesTakeOrSwapIt) {
  QORInputFilterNotifWithString a(QORUnicodeString("a"), 1);
  QORInputFilterNotifWithString b(QORUnicodeString("b"), 2);
  b = a;
  QORInputFilterNotifWithString moved(std::move(b));
  EXPECT_EQ(moved.GetDataString().Str(), "a");
  EXPECT_EQ(b.GetDataString().Str(), "");  // NOLINT(bugprone-use-after-move)
  QORInputFilterNotifWithString c(QORUnicodeString("c"), 3);
  c = std::move(moved);
  EXPECT_EQ(c.GetDataString().Str(), "a");
  EXPECT_EQ(c.GetMode(), 1);
  EXPECT_EQ(moved.GetDataString().Str(), "c");  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(QORInputFilterNotifWithString(a).GetDataString().Str(), "a");
  EXPECT_EQ(a.GetDataString().Str(), "a");
  EXPECT_EQ(QORInputFilterNotifWithString(-1).GetDataString().Str(), "");
  EXPECT_TRUE(a.IsAKindOf("QORNotification"));
  // Known by name, but the object model cannot make one by it.
  EXPECT_EQ(QORInputFilterNotifWithString::CreateItself(), nullptr);
}

}  // namespace
}  // namespace dxtest
