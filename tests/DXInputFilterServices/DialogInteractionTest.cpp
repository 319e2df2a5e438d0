// DialogInteractionTest.cpp - the dialog at work, one scenario a row: its standard
// buttons, the messages its page posts, the replays a test driver sends in test mode,
// and the answer saved for use (QORDX_SAVEANDUSE_JSONFILTER).
#include <gtest/gtest.h>

#include <filesystem>

#include "DialogFixture.h"
#include "ObjectModelRuntime/QORErrorText.h"

namespace dxtest {
namespace {

constexpr const char* kAnswer =
    R"({"data":{"filterID":"F-1"},"roots":[{"label":"Edited","data":{"uid":["u9"]},"grid":{"X":"edited"}}]})";
const std::string kOk = SendNewJsonScript("onOkClick");
const std::string kSave = SendNewJsonScript("onSaveClick");
const std::string kOkAnswer = std::string("page:onOkClick|") + kAnswer;

enum Saving { kNoSaving, kToQorTemp, kToTmpdir };

struct Scenario {
  const char* name;
  bool testMode;
  Names steps;  // after the generated document is shown and its page started loading
  Names father;
  Names scripts = {};  // after the init script
  bool visible = true;
  int lastButton = -1;        // -1: not looked at
  bool answerTaken = false;   // else the generated document stands
  std::string error = "";     // part of the error text the user is given
  Saving saving = kNoSaving;  // and then whether the answer was saved for use
  const char* source = "/models/part.stp";
};

void PrintTo(const Scenario& s, std::ostream* os) {
  *os << s.name;
}

const Scenario kScenarios[] = {
    // Buttons: OK asks the page for its document and waits for the answer.
    {"Ok", false, {"OK"}, {}, {kOk}, true, QORVidFraDialog::kOK},
    {"SaveInTestMode", true, {"Save"}, {}, {kSave}, true, QORVidFraDialog::kSave},
    {"Cancel", false, {"Cancel"}, {"PanelClosed"}, {}, false, QORVidFraDialog::kCancel},
    {"CloseWindow", false, {"close"}, {"PanelClosed"}, {}, false},
    // Save is not shown outside test mode; a host may show Apply, which means nothing.
    {"SaveOutsideTestMode", false, {"Save"}, {}, {}, true, 0},
    {"ApplyWithoutRole", false, {"show Apply", "Apply"}, {}, {}, true, QORVidFraDialog::kApply},
    // What the page posts.
    {"OnLoad", false, {"page:onLoad"}, {"PanelLoaded"}},
    {"OnLoadInTestMode", true, {"page:onLoad"}, {"PanelLoaded"}},
    {"OkAnswer", false, {kOkAnswer}, {"PanelClosed"}, {}, false, -1, true},
    // In test mode the answer is dumped first; the father learns of the closing last.
    {"OkAnswerInTestMode",
     true,
     {kOkAnswer},
     {std::string("DumpModel ") + kAnswer, "PanelClosed"},
     {},
     false,
     -1,
     true},
    // A refused answer ends as Cancel: a host reading the last button sees no OK.
    {"BrokenOkAnswer",
     false,
     {"OK", "page:onOkClick|{\"roots\":["},
     {"PanelClosed"},
     {kOk},
     false,
     QORVidFraDialog::kCancel,
     false,
     "not a filter document"},
    {"NonObjectOkAnswerInTestMode",
     true,
     {"OK", "page:onOkClick|[1,2]"},
     {"PanelClosed"},
     {kOk},
     false,
     QORVidFraDialog::kCancel,
     false,
     "not a filter document"},
    {"RecordOutsideTestMode", false, {"page:registerInteraction|{\"node\":\"it's\"}"}, {}},
    {"RecordInTestMode",
     true,
     {"page:registerInteraction|{\"node\":\"it's\"}"},
     {"InteractionRecord {\"node\":\"it's\"}"}},
    {"SaveAnswerOutsideTestMode", false, {std::string("page:onSaveClick|") + kAnswer}, {}},
    {"SaveAnswerInTestMode",
     true,
     {std::string("page:onSaveClick|") + kAnswer},
     {std::string("DumpModel ") + kAnswer}},
    {"NotificationKindsInTestMode",
     true,
     {"page:onLoad", "page:registerInteraction|r", "page:onSaveClick|s", "Cancel"},
     {"PanelLoaded", "InteractionRecord r", "DumpModel s", "PanelClosed"},
     {},
     false},
    {"OtherShapesIgnored",
     false,
     {"page", "page:onOkClick", kOkAnswer + "|extra", "page:onLoad|", "page:onLoad||",
      "page:OnLoad", std::string("page:unknown|") + kAnswer, "page:registerInteraction",
      kOkAnswer + "|"},
     {}},
    // Replays of test mode: a button by its toolkit name, whatever its case; a page
    // interaction run as it came.
    {"ButtonReplays",
     true,
     {"replay:OK", "replay:Save", "replay:cancel"},
     {"PanelClosed"},
     {kOk, kSave},
     false},
    {"ReplayOfButtonsNotShown", true, {"replay:Apply", "replay:", "replay:OK "}, {}, {}, true, 0},
    {"PageReplay",
     true,
     {"simulate:{\"node\":'n1',\"path\":\"a\\b\"}", "replay:OK"},
     {},
     {"require(['ZQ/DXInputFilterDisplay/Filter'], function(Filter) { "
      "Filter.simulate('{\"node\":'n1',\"path\":\"a\\b\"}'); });",
      kOk}},
    // Outside test mode nobody below takes the replays: they go on up to the father.
    {"ReplaysOutsideTestMode",
     false,
     {"replay:Cancel", "simulate:{}"},
     {"ButtonInteractionReplay Cancel", "JSInteractionReplay {}"},
     {},
     true,
     0},
    // The answer saved for use, under the source file's name.
    {"SavedForUse", false, {kOkAnswer}, {"PanelClosed"}, {}, false, -1, true, "", kToQorTemp},
    {"SavedForUseInTestMode",
     true,
     {kOkAnswer},
     {std::string("DumpModel ") + kAnswer, "PanelClosed"},
     {},
     false,
     -1,
     true,
     "",
     kToQorTemp},
    {"SavedForUseWithoutQorTemp",
     false,
     {kOkAnswer},
     {"PanelClosed"},
     {},
     false,
     -1,
     true,
     "",
     kToTmpdir,
     "C:\\models\\part.stp"},
    {"RefusedAnswerNotSaved",
     false,
     {"page:onOkClick|not json"},
     {"PanelClosed"},
     {},
     false,
     QORVidFraDialog::kCancel,
     false,
     "not a filter document",
     kToQorTemp},
    {"NothingSavedBeforeTheAnswer",
     false,
     {"OK", "page:onLoad", "Cancel"},
     {"PanelLoaded", "PanelClosed"},
     {kOk},
     false,
     QORVidFraDialog::kCancel,
     false,
     "",
     kToQorTemp},
};

class DialogScenario : public DialogFixture, public ::testing::WithParamInterface<Scenario> {};

TEST_P(DialogScenario, Runs) {
  const Scenario& s = GetParam();
  TempDir temporary;  // the parent's serves the child
  DialogProcess process = Mode(s.testMode);
  process.saveAndUse = s.saving != kNoSaving;
  if (s.saving == kToQorTemp) process.temporaryFolder = temporary.Path();
  if (s.saving == kToTmpdir) process.env["TMPDIR"] = temporary.Path();
  DX_DIALOG_PROCESS(process);

  ASSERT_EQ(Generate(s.source), S_OK);
  const std::string generated = Document();
  ASSERT_NE(Show(), nullptr);
  Do("load");
  QORTakeErrorText();
  for (const std::string& step : s.steps) {
    if (step == "show Apply")
      Dialog()->SetStandardButtons(Dialog()->GetStandardButtons() | QORVidFraDialog::kApply);
    else
      Do(step);
  }

  Names scripts = {InitScript(Escaped(generated), s.testMode)};
  scripts.insert(scripts.end(), s.scripts.begin(), s.scripts.end());
  EXPECT_EQ(Scripts(), scripts);
  EXPECT_EQ(father.names, s.father);
  for (size_t i = 0; i < father.senders.size(); ++i) {
    // Replays come from the driver; the dialog's own notifications from the dialog.
    EXPECT_EQ(father.senders[i], father.names[i].find("Replay") == std::string::npos
                                     ? static_cast<QORCommand*>(Dialog())
                                     : &driver)
        << father.names[i];
    EXPECT_EQ(father.modes[i], -1) << father.names[i];
  }
  EXPECT_EQ(Dialog()->GetVisibleFlag(), s.visible ? 1 : 0);
  if (s.lastButton >= 0) {
    EXPECT_EQ(Dialog()->GetLastClickedButton(), s.lastButton);
  }
  const std::string error = QORTakeErrorText();
  if (!s.error.empty()) {
    EXPECT_NE(error.find(s.error), std::string::npos) << error;
  }
  EXPECT_EQ(Json(Document()), Json(s.answerTaken ? kAnswer : generated));

  if (s.answerTaken) {
    Ref<QORIResolvedInputFilter> reader;
    ASSERT_EQ(generator->GetResolvedFilter(reader.Out()), S_OK);
    QORUnicodeString value("<none>");
    reader->GetObjectAttribute("u9", "X", value);
    EXPECT_EQ(value.Str(), "edited");
  }
  if (s.saving != kNoSaving) {
    const std::string folder = std::getenv(s.saving == kToQorTemp ? "QORTemp" : "TMPDIR");
    const std::string saved = folder + "/part.stpJSON_Modified.json";
    if (s.answerTaken)
      EXPECT_EQ(Json(ReadFile(saved).value_or("")), Json(kAnswer));
    else
      EXPECT_FALSE(std::filesystem::exists(saved));
  }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, DialogScenario, ::testing::ValuesIn(kScenarios),
                         [](const ::testing::TestParamInfo<Scenario>& info) {
                           return std::string(info.param.name);
                         });

// A dialog without owner keeps the answer for a page that starts loading later, but
// neither closes nor tells anyone.
using DialogWithoutOwner = DialogFixture;

TEST_F(DialogWithoutOwner, OkAnswerIsKeptButNeitherClosesNorTellsAnyone) {
  DX_DIALOG_PROCESS(Mode(true));
  OwnerlessDialog shown(R"({"roots":[]})");
  ASSERT_NE(shown.viewer, nullptr);
  RaisePageMessage(shown.viewer, {"onOkClick", kAnswer});
  EXPECT_EQ(shown.dialog->GetVisibleFlag(), 1);
  RaiseLoadStart(shown.viewer);
  EXPECT_EQ(shown.Scripts(), Names{InitScript(Escaped(kAnswer), true)});
}

}  // namespace
}  // namespace dxtest
