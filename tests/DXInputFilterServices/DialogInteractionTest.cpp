// DialogInteractionTest.cpp - the dialog at work: its standard buttons, the messages
// its page posts, and the replays a test driver sends in test mode.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "DialogFixture.h"
#include "EventToolkit/QORDynamicCast.h"
#include "ObjectModelRuntime/QORErrorText.h"
#include "ObjectModelRuntime/QORFillDictionary.h"

namespace dxtest {
namespace {

constexpr const char* kDocument = R"({"data":{"filterID":"F-1"},"roots":[{"label":"Site"}]})";
constexpr const char* kAnswer =
    R"({"data":{"filterID":"F-1"},"roots":[{"label":"Edited","data":{"uid":["u9"]},"grid":{"X":"edited"}}]})";

using Names = std::vector<std::string>;

// A dialog shown over kDocument whose page has been initialised.
class ShownDialog : public DialogFixture {
 protected:
  void ShowLoadedPage() {
    ASSERT_EQ(Load(kDocument), S_OK);
    ASSERT_NE(Show(), nullptr);
    LoadStart();
    ASSERT_EQ(Scripts().size(), 1u);
  }
  // Nothing was closed, told or run beyond the init script, and the document stands.
  void ExpectUntouched() {
    EXPECT_EQ(Dialog()->GetVisibleFlag(), 1);
    EXPECT_EQ(father.Names(), Names{});
    EXPECT_EQ(Scripts().size(), 1u);
    EXPECT_EQ(Json(Document()), Json(kDocument));
  }
};

// --- standard buttons

using DialogButtons = ShownDialog;

TEST_F(DialogButtons, OkAsksThePageForItsDocumentAndWaits) {
  DX_DIALOG_PROCESS(NormalMode());
  ShowLoadedPage();
  Click(QORVidFraDialog::kOK);
  EXPECT_EQ(Scripts(), (Names{InitScript(Escaped(kDocument)), SendNewJsonScript("onOkClick")}));
  EXPECT_EQ(Dialog()->GetLastClickedButton(), QORVidFraDialog::kOK);
  // Closing is the page's answer's business.
  EXPECT_EQ(Dialog()->GetVisibleFlag(), 1);
  EXPECT_EQ(father.Names(), Names{});
  EXPECT_EQ(Json(Document()), Json(kDocument));
}

TEST_F(DialogButtons, SaveAsksThePageForItsDocumentInTestMode) {
  DX_DIALOG_PROCESS(TestMode());
  ShowLoadedPage();
  Click(QORVidFraDialog::kSave);
  EXPECT_EQ(Scripts().back(), SendNewJsonScript("onSaveClick"));
  EXPECT_EQ(Scripts().size(), 2u);
  EXPECT_EQ(Dialog()->GetVisibleFlag(), 1);
  EXPECT_EQ(father.Names(), Names{});
}

TEST_F(DialogButtons, CancelHidesAndTellsTheFatherLeavingTheDocumentAlone) {
  DX_DIALOG_PROCESS(NormalMode());
  ShowLoadedPage();
  Click(QORVidFraDialog::kCancel);
  EXPECT_EQ(Dialog()->GetVisibleFlag(), 0);
  EXPECT_EQ(father.Names(), Names{"PanelClosed"});
  EXPECT_EQ(father.taken[0].sender, Dialog());
  EXPECT_EQ(father.taken[0].mode, -1);
  EXPECT_EQ(Scripts().size(), 1u);
  EXPECT_EQ(Json(Document()), Json(kDocument));
}

TEST_F(DialogButtons, ClosingTheWindowHidesAndTellsTheFather) {
  DX_DIALOG_PROCESS(NormalMode());
  ShowLoadedPage();
  CloseWindow();
  EXPECT_EQ(Dialog()->GetVisibleFlag(), 0);
  EXPECT_EQ(father.Names(), Names{"PanelClosed"});
  EXPECT_EQ(father.taken[0].sender, Dialog());
  EXPECT_EQ(Json(Document()), Json(kDocument));
}

TEST_F(DialogButtons, SaveOutsideTestModeAndButtonsWithoutARoleDoNothing) {
  DX_DIALOG_PROCESS(NormalMode());
  ShowLoadedPage();
  Click(QORVidFraDialog::kSave);  // not shown outside test mode
  EXPECT_EQ(Dialog()->GetLastClickedButton(), 0);
  // A host may show Apply; the dialog gives it no meaning.
  Dialog()->SetStandardButtons(Dialog()->GetStandardButtons() | QORVidFraDialog::kApply);
  Click(QORVidFraDialog::kApply);
  EXPECT_EQ(Dialog()->GetLastClickedButton(), QORVidFraDialog::kApply);
  ExpectUntouched();
}

// --- what the page posts

class DialogPageMessages : public ShownDialog, public ::testing::WithParamInterface<bool> {
 protected:
  DialogProcess Mode() const { return GetParam() ? TestMode() : NormalMode(); }
  bool InTestMode() const { return GetParam(); }
};

TEST_P(DialogPageMessages, OnLoadTellsTheFatherThePanelIsLoaded) {
  DX_DIALOG_PROCESS(Mode());
  ShowLoadedPage();
  PageSays({"onLoad"});
  EXPECT_EQ(father.Names(), Names{"PanelLoaded"});
  EXPECT_EQ(father.taken[0].sender, Dialog());
  EXPECT_EQ(father.taken[0].mode, -1);
  EXPECT_EQ(Dialog()->GetVisibleFlag(), 1);
}

TEST_P(DialogPageMessages, OkAnswerReplacesTheDocumentThenCloses) {
  DX_DIALOG_PROCESS(Mode());
  ShowLoadedPage();
  PageSays({"onOkClick", kAnswer});
  EXPECT_EQ(Json(Document()), Json(kAnswer));
  Ref<QORIResolvedInputFilter> reader;
  ASSERT_EQ(generator->GetResolvedFilter(reader.Out()), S_OK);
  QORUnicodeString value("<none>");
  reader->GetObjectAttribute("u9", "X", value);
  EXPECT_EQ(value.Str(), "edited");
  EXPECT_EQ(Dialog()->GetVisibleFlag(), 0);
  // In test mode the answer is dumped first; the father learns of the closing last.
  EXPECT_EQ(father.Names(),
            (InTestMode() ? Names{std::string("DumpModel ") + kAnswer, "PanelClosed"}
                          : Names{"PanelClosed"}));
  for (const Taken& t : father.taken) EXPECT_EQ(t.sender, Dialog());
  EXPECT_EQ(Scripts().size(), 1u);
}

TEST_P(DialogPageMessages, RefusedOkAnswerKeepsTheDocumentAndEndsAsCancel) {
  DX_DIALOG_PROCESS(Mode());
  ShowLoadedPage();
  for (const char* answer : {R"({"roots":[)", "[1,2]"}) {
    SCOPED_TRACE(answer);
    father.taken.clear();
    Click(QORVidFraDialog::kOK);
    PageSays({"onOkClick", answer});
    EXPECT_EQ(Json(Document()), Json(kDocument));
    EXPECT_EQ(Dialog()->GetVisibleFlag(), 0);
    // A host reading the last button sees no OK, and is told why.
    EXPECT_EQ(Dialog()->GetLastClickedButton(), QORVidFraDialog::kCancel);
    EXPECT_NE(QORTakeErrorText().find("not a filter document"), std::string::npos);
    EXPECT_EQ(father.Names(), Names{"PanelClosed"});
  }
}

TEST_P(DialogPageMessages, RegisterInteractionIsRecordedInTestModeOnly) {
  DX_DIALOG_PROCESS(Mode());
  ShowLoadedPage();
  const std::string interaction = R"({"type":"expand","node":"it's"})";
  PageSays({"registerInteraction", interaction});
  EXPECT_EQ(father.Names(), InTestMode() ? Names{"InteractionRecord " + interaction} : Names{});
  EXPECT_EQ(Dialog()->GetVisibleFlag(), 1);
  EXPECT_EQ(Json(Document()), Json(kDocument));
}

TEST_P(DialogPageMessages, SaveAnswerIsDumpedInTestModeOnlyAndChangesNothing) {
  DX_DIALOG_PROCESS(Mode());
  ShowLoadedPage();
  PageSays({"onSaveClick", kAnswer});
  EXPECT_EQ(father.Names(), InTestMode() ? Names{std::string("DumpModel ") + kAnswer} : Names{});
  EXPECT_EQ(Dialog()->GetVisibleFlag(), 1);
  EXPECT_EQ(Json(Document()), Json(kDocument));
}

TEST_P(DialogPageMessages, MessagesOfOtherShapesAreIgnored) {
  DX_DIALOG_PROCESS(Mode());
  ShowLoadedPage();
  const std::vector<std::vector<std::string>> ignored = {
      {},
      {"onOkClick"},
      {"onOkClick", kAnswer, "extra"},
      {"onLoad", ""},
      {"onLoad", "", ""},
      {"OnLoad"},
      {"unknown", kAnswer},
      {"registerInteraction"},
      {"onSaveClick", kAnswer, ""},
  };
  for (const auto& message : ignored) PageSays(message);
  ExpectUntouched();
}

INSTANTIATE_TEST_SUITE_P(Modes, DialogPageMessages, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "TestMode" : "NormalMode";
                         });

// --- the answer saved for use (QORDX_SAVEANDUSE_JSONFILTER)

using DialogSaveAndUse = ShownDialog;

TEST_F(DialogSaveAndUse, OkAnswerIsSavedUnderTheSourceFileNameInTheTemporaryFolder) {
  TempDir temporary;  // the parent's serves the child
  DX_DIALOG_PROCESS(SaveAndUse(temporary.Path()));
  const std::string folder = std::getenv("QORTemp");
  for (const char* source : {"/models/part.stp", "C:\\models\\part.stp"}) {
    SCOPED_TRACE(source);
    std::filesystem::remove(folder + "/part.stpJSON_Modified.json");
    ASSERT_EQ(Generate(source), S_OK);
    ASSERT_NE(Show(), nullptr);
    PageSays({"onOkClick", kAnswer});
    EXPECT_EQ(Json(ReadFile(folder + "/part.stpJSON_Modified.json").value_or("")), Json(kAnswer));
    EXPECT_EQ(Json(Document()), Json(kAnswer));
    EXPECT_EQ(Dialog()->GetVisibleFlag(), 0);
    EXPECT_EQ(father.Names().back(), "PanelClosed");
  }
}

TEST_F(DialogSaveAndUse, RefusedOkAnswerSavesNothing) {
  TempDir temporary;
  DX_DIALOG_PROCESS(SaveAndUse(temporary.Path()));
  const std::string folder = std::getenv("QORTemp");
  ASSERT_EQ(Generate("/models/part.stp"), S_OK);
  const std::string generated = Document();
  ASSERT_NE(Show(), nullptr);
  PageSays({"onOkClick", "not json"});
  EXPECT_FALSE(std::filesystem::exists(folder + "/part.stpJSON_Modified.json"));
  EXPECT_EQ(Document(), generated);
  EXPECT_EQ(father.Names(), Names{"PanelClosed"});
}

TEST_F(DialogSaveAndUse, TestModeDumpsAndSavesTheAnswer) {
  TempDir temporary;
  DX_DIALOG_PROCESS(SaveAndUse(temporary.Path(), true));
  const std::string folder = std::getenv("QORTemp");
  ASSERT_EQ(Generate("/models/part.stp"), S_OK);
  ASSERT_NE(Show(), nullptr);
  EXPECT_EQ(Dialog()->GetStandardButtons(), 0x1A);
  PageSays({"onOkClick", kAnswer});
  EXPECT_EQ(Json(ReadFile(folder + "/part.stpJSON_Modified.json").value_or("")), Json(kAnswer));
  EXPECT_EQ(father.Names(), (Names{std::string("DumpModel ") + kAnswer, "PanelClosed"}));
}

TEST_F(DialogSaveAndUse, WithoutTemporaryFolderTheAnswerGoesToThePlatformTemporaryFolder) {
  TempDir temporary;
  DialogProcess process = SaveAndUse(std::nullopt);
  process.env["TMPDIR"] = temporary.Path();
  DX_DIALOG_PROCESS(process);
  const std::string folder = std::getenv("TMPDIR");
  ASSERT_EQ(Generate("/models/part.stp"), S_OK);
  ASSERT_NE(Show(), nullptr);
  PageSays({"onOkClick", kAnswer});
  EXPECT_EQ(Json(ReadFile(folder + "/part.stpJSON_Modified.json").value_or("")), Json(kAnswer));
  std::error_code ignored;
  EXPECT_FALSE(std::filesystem::exists("/part.stpJSON_Modified.json", ignored));
  EXPECT_EQ(Json(Document()), Json(kAnswer));
  EXPECT_EQ(father.Names(), Names{"PanelClosed"});
}

TEST_F(DialogSaveAndUse, NothingIsSavedBeforeThePageAnswers) {
  TempDir temporary;
  DX_DIALOG_PROCESS(SaveAndUse(temporary.Path()));
  const std::string folder = std::getenv("QORTemp");
  ASSERT_EQ(Generate("/models/part.stp"), S_OK);
  ASSERT_NE(Show(), nullptr);
  LoadStart();
  Click(QORVidFraDialog::kOK);
  PageSays({"onLoad"});
  Click(QORVidFraDialog::kCancel);
  EXPECT_FALSE(std::filesystem::exists(folder + "/part.stpJSON_Modified.json"));
}

// --- a dialog without owner (made by the "DXWebViewer" factory)

class DialogWithoutOwner : public DialogFixture {
 protected:
  void TearDown() override {
    if (_dialog) _dialog->RequestDelayedDestruction();
    DialogFixture::TearDown();
  }
  QORVidFraDialog* Make() {
    _dialog = static_cast<QORVidFraDialog*>(QORFillDictionary::FindFactory("DXWebViewer")(nullptr));
    return _dialog;
  }
  QORVidCtlWebViewer* ViewerOf(QORVidFraDialog* dialog) {
    return QORDynamicCast<QORVidCtlWebViewer>(dialog->GetApplicativeWidget());
  }

 private:
  QORVidFraDialog* _dialog = nullptr;
};

TEST_F(DialogWithoutOwner, OkAnswerIsKeptButNeitherClosesNorTellsAnyone) {
  DX_DIALOG_PROCESS(TestMode());
  ASSERT_EQ(dialog_internals::Missing(), "");
  QORVidFraDialog* dialog = Make();
  ASSERT_NE(dialog, nullptr);
  ASSERT_EQ(dialog_internals::InitAndShowWithoutOwner(dialog, QORUnicodeString(kDocument)), S_OK);
  QORVidCtlWebViewer* viewer = ViewerOf(dialog);
  ASSERT_NE(viewer, nullptr);
  RaisePageMessage(viewer, {"onOkClick", kAnswer});
  EXPECT_EQ(dialog->GetVisibleFlag(), 1);
  // The answer is what a page that starts loading now is given.
  RaiseLoadStart(viewer);
  EXPECT_EQ(ScriptsOf(viewer), Names{TestModeInitScript(Escaped(kAnswer))});
}

// --- replays of test mode

using DialogReplays = ShownDialog;

TEST_F(DialogReplays, ButtonReplayActsAsTheClick) {
  DX_DIALOG_PROCESS(TestMode());
  ShowLoadedPage();
  Replay(ButtonReplay("OK"));
  EXPECT_EQ(Scripts().back(), SendNewJsonScript("onOkClick"));
  EXPECT_EQ(Dialog()->GetLastClickedButton(), QORVidFraDialog::kOK);
  Replay(ButtonReplay("Save"));
  EXPECT_EQ(Scripts().back(), SendNewJsonScript("onSaveClick"));
  EXPECT_EQ(Dialog()->GetLastClickedButton(), QORVidFraDialog::kSave);
  EXPECT_EQ(Scripts().size(), 3u);
  EXPECT_EQ(Dialog()->GetVisibleFlag(), 1);
  // Names are the toolkit's, whatever their case.
  Replay(ButtonReplay("cancel"));
  EXPECT_EQ(Dialog()->GetVisibleFlag(), 0);
  EXPECT_EQ(father.Names(), Names{"PanelClosed"});
}

TEST_F(DialogReplays, ReplayOfAButtonNotShownDoesNothing) {
  DX_DIALOG_PROCESS(TestMode());
  ShowLoadedPage();
  for (const char* button : {"Apply", "", "OK "}) Replay(ButtonReplay(button));
  EXPECT_EQ(Dialog()->GetLastClickedButton(), 0);
  ExpectUntouched();
}

TEST_F(DialogReplays, PageReplayRunsTheInteractionTextAsItCame) {
  DX_DIALOG_PROCESS(TestMode());
  ShowLoadedPage();
  const std::string interaction = R"({"type":"check","node":'n1',"path":"a\b"})";
  Replay(PageReplay(interaction));
  EXPECT_EQ(Scripts().back(), SimulateScript(interaction));
  EXPECT_EQ(Scripts().back(),
            "require(['ZQ/DXInputFilterDisplay/Filter'], function(Filter) { Filter.simulate('" +
                interaction + "'); });");
  EXPECT_EQ(father.Names(), Names{});
}

TEST_F(DialogReplays, OutsideTestModeReplaysPassTheDialogBy) {
  DX_DIALOG_PROCESS(NormalMode());
  ShowLoadedPage();
  Replay(ButtonReplay("Cancel"));
  Replay(PageReplay("{}"));
  EXPECT_EQ(Dialog()->GetLastClickedButton(), 0);
  EXPECT_EQ(Dialog()->GetVisibleFlag(), 1);
  EXPECT_EQ(Scripts().size(), 1u);
  // Nobody below took them: they went on up to the father.
  EXPECT_EQ(father.Names(), (Names{"ButtonInteractionReplay Cancel", "JSInteractionReplay {}"}));
}

TEST_F(DialogReplays, InTestModeTheDialogTakesTheReplaysItself) {
  DX_DIALOG_PROCESS(TestMode());
  ShowLoadedPage();
  Replay(PageReplay("{}"));
  Replay(ButtonReplay("OK"));
  EXPECT_EQ(father.Names(), Names{});
}

}  // namespace
}  // namespace dxtest
