// DialogInteractionTest.cpp - the dialog at work, one scenario a row: its standard
// buttons, the messages its page posts, the replays a test driver sends in test mode,
// and the answer saved for use (QORDX_SAVEANDUSE_JSONFILTER).
#include <gtest/gtest.h>

#include "DialogFixture.h"
#include "ObjectModelRuntime/QORErrorText.h"

namespace dxtest {
namespace {

constexpr const char* kAnswer =
    R"({"data":{"filterID":"F-1"},"roots":[{"label":"Edited","data":{"uid":["u9"]},"grid":{"X":"edited"}}]})";
const std::string kOk = SendNewJsonScript("onOkClick");
const std::string kSave = SendNewJsonScript("onSaveClick");
const std::string kOkAnswer = std::string("page:onOkClick|") + kAnswer;

const std::string kDump = std::string("DumpModel ") + kAnswer;

struct Scenario {
  const char* name;
  // Words for what is not the default: "test" (test mode), "hidden" (the dialog closed),
  // "OK" "Save" "Cancel" "Apply" "none" (the last button clicked), "taken" (the answer
  // is the document), "refused" (the user is told the answer is no filter document),
  // "QORTemp" "TMPDIR" (the answer is saved for use, and where).
  std::string flags;
  Names steps;  // after the generated document is shown and its page started loading
  Names father;
  Names scripts;  // after the init script
};

void PrintTo(const Scenario& s, std::ostream* os) {
  *os << s.name;
}

// Buttons: OK asks the page for its document and waits for the answer. Save is not
// shown outside test mode; a host may show Apply, which means nothing. In test mode
// the page's answer is dumped first; the father learns of the closing last. A refused
// answer ends as Cancel: a host reading the last button sees no OK. Replays of test
// mode name a button by its toolkit name, whatever its case, or carry a page
// interaction run as it came; outside test mode nobody below takes them, and they go
// on up to the father. The answer is saved for use under the source file's name, only
// once it is taken.
const Scenario kScenarios[] = {
    {"CloseWindow", "hidden", {"close"}, {"PanelClosed"}, {}},
    {"SaveOutsideTestModeAndApply", "Apply", {"Save", "show Apply", "Apply"}, {}, {}},
    {"OkAnswerInTestMode", "test hidden taken", {kOkAnswer}, {kDump, "PanelClosed"}, {}},
    {"BrokenOkAnswer",
     "hidden Cancel refused",
     {"OK", "page:onOkClick|{\"roots\":["},
     {"PanelClosed"},
     {kOk}},
    {"NonObjectOkAnswerInTestMode",
     "test hidden Cancel refused",
     {"OK", "page:onOkClick|[1,2]"},
     {"PanelClosed"},
     {kOk}},
    {"NotificationsInTestMode",
     "test hidden Cancel",
     {"page:onLoad", "page:registerInteraction|{\"node\":\"it's\"}", "page:onSaveClick|s",
      "Cancel"},
     {"PanelLoaded", "InteractionRecord {\"node\":\"it's\"}", "DumpModel s", "PanelClosed"},
     {}},
    {"OtherShapesIgnored",
     "",
     {"page", "page:onOkClick", kOkAnswer + "|extra", "page:onLoad|", "page:onLoad||",
      "page:OnLoad", std::string("page:unknown|") + kAnswer, "page:registerInteraction",
      kOkAnswer + "|", "page:registerInteraction|{}", "page:onSaveClick|{}", "page:onLoad"},
     {"PanelLoaded"},
     {}},
    {"ButtonReplays",
     "test hidden",
     {"replay:OK", "replay:Save", "replay:cancel"},
     {"PanelClosed"},
     {kOk, kSave}},
    {"ReplayOfButtonsNotShown", "test none", {"replay:Apply", "replay:", "replay:OK "}, {}, {}},
    {"PageReplay",
     "test",
     {"simulate:{\"node\":'n1',\"path\":\"a\\b\"}"},
     {},
     {"require(['ZQ/DXInputFilterDisplay/Filter'], function(Filter) { "
      "Filter.simulate('{\"node\":'n1',\"path\":\"a\\b\"}'); });"}},
    {"ReplaysOutsideTestMode",
     "none",
     {"replay:Cancel", "simulate:{}"},
     {"ButtonInteractionReplay Cancel", "JSInteractionReplay {}"},
     {}},
    {"SavedForUse", "hidden taken QORTemp", {kOkAnswer}, {"PanelClosed"}, {}},
    {"SavedForUseWithoutQorTemp", "hidden taken TMPDIR", {kOkAnswer}, {"PanelClosed"}, {}},
    {"NothingSavedBeforeTheAnswerNorARefusedOne",
     "hidden Cancel refused QORTemp",
     {"OK", "page:onLoad", "page:onOkClick|not json"},
     {"PanelLoaded", "PanelClosed"},
     {kOk}},
};

class DialogScenario : public DialogFixture, public ::testing::WithParamInterface<Scenario> {
 protected:
  bool Has(const std::string& word) const {
    return (" " + GetParam().flags + " ").find(" " + word + " ") != std::string::npos;
  }
};

TEST_P(DialogScenario, Runs) {
  const Scenario& s = GetParam();
  TempDir temporary;  // the parent's serves the child
  EnvChanges process = Mode(Has("test"));
  const bool saveAndUse = Has("QORTemp") || Has("TMPDIR");
  if (saveAndUse) {
    process["QORDX_SAVEANDUSE_JSONFILTER"] = "1";
    process[Has("QORTemp") ? "QORTemp" : "TMPDIR"] = temporary.Path();
  }
  DX_IN_PROCESS(process);

  ASSERT_EQ(Generate(nullptr, synth::kShapedFormat,
                     Has("TMPDIR") ? "C:\\models\\part.stp" : "/models/part.stp"),
            S_OK);
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

  Names scripts = {InitScript(Escaped(generated), Has("test"))};
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
  EXPECT_EQ(Dialog()->GetVisibleFlag(), Has("hidden") ? 0 : 1);
  const std::pair<const char*, int> buttons[] = {{"OK", QORVidFraDialog::kOK},
                                                 {"Save", QORVidFraDialog::kSave},
                                                 {"Cancel", QORVidFraDialog::kCancel},
                                                 {"Apply", QORVidFraDialog::kApply},
                                                 {"none", 0}};
  for (const auto& [word, button] : buttons) {
    if (Has(word)) {
      EXPECT_EQ(Dialog()->GetLastClickedButton(), button) << word;
    }
  }
  EXPECT_EQ(QORTakeErrorText().find("not a filter document") != std::string::npos, Has("refused"));
  EXPECT_EQ(Json(Document()), Json(Has("taken") ? kAnswer : generated));
  if (Has("taken")) {
    Ref<QORIResolvedInputFilter> reader;
    ASSERT_EQ(generator->GetResolvedFilter(reader.Out()), S_OK);
    QORUnicodeString value("<none>");
    reader->GetObjectAttribute("u9", "X", value);
    EXPECT_EQ(value.Str(), "edited");
  }
  if (saveAndUse) {
    const std::string saved = std::string(std::getenv(Has("QORTemp") ? "QORTemp" : "TMPDIR")) +
                              "/part.stpJSON_Modified.json";
    EXPECT_EQ(Json(ReadFile(saved).value_or("")), Json(Has("taken") ? kAnswer : "<none>"));
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
  DX_IN_PROCESS(Mode(true));
  OwnerlessDialog shown(R"({"roots":[]})");
  ASSERT_NE(shown.viewer, nullptr);
  RaisePageMessage(shown.viewer, {"onOkClick", kAnswer});
  EXPECT_EQ(shown.dialog->GetVisibleFlag(), 1);
  RaiseLoadStart(shown.viewer);
  EXPECT_EQ(shown.Scripts(), Names{InitScript(Escaped(kAnswer), true)});
}

}  // namespace
}  // namespace dxtest
