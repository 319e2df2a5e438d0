// ProviderBaseTest.cpp - the part every structure provider shares: opening a model with the
// progress bar following the reader. The providers' own suites read the columns and the
// Import cells back from their documents.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "InputFilteringInterfaces/QORInputFilterStructureBase.h"
#include "ObjectModelRuntime/QORErrorText.h"
#include "ObjectModelRuntime/QORProgress.h"

namespace {

constexpr QORFilterColumn kColumns[] = {{"Entity", QORDXColumnType::kReadOnlyText},
                                        {"Import", QORDXColumnType::kBoolean}};

class Provider : public QORInputFilterStructureBase {
 public:
  Provider() : QORInputFilterStructureBase(kColumns, "DXTestProvider") {}
  using QORInputFilterStructureBase::BeginWalk;
  using QORInputFilterStructureBase::FileName;
  using QORInputFilterStructureBase::OpenModel;
  using QORInputFilterStructureBase::WalkStep;
};

TEST(ProviderBase, OpeningFollowsTheReaderAndKeepsNothingOnFailure) {
  Provider provider;
  QORUnicodeString text;
  int32_t type = -1;
  QORListValQORUnicodeString values;
  EXPECT_EQ(provider.GetColumnDescription(QORUnicodeString("Size"), text, type, values),
            E_INVALIDARG);
  std::unique_ptr<int> holder;  // the model
  std::vector<QORProgress::Snapshot> seen;
  const HRESULT opened = provider.OpenModel(
      holder, "reading test file", "/some/folder/house.x",
      [&](int& model, const QORInputFilterStructureBase::Reporter& report, std::string&) {
        seen.push_back(QORProgress::Read());  // before the reader knows the size
        report(300, 1000);
        seen.push_back(QORProgress::Read());
        model = 1;
        return true;
      });
  ASSERT_EQ(opened, S_OK);
  ASSERT_TRUE(holder);
  EXPECT_EQ(*holder, 1);
  EXPECT_EQ(provider.FileName(), "house.x");
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].phase, "reading test file");
  EXPECT_EQ(seen[0].total, 0u);
  EXPECT_EQ(seen[1].done, 300u);
  EXPECT_EQ(seen[1].total, 1000u);
  EXPECT_EQ(QORProgress::Read().phase, "");  // the reading phase is over

  Provider::BeginWalk(2);
  Provider::WalkStep();
  const QORProgress::Snapshot walk = QORProgress::Read();
  EXPECT_EQ(walk.phase, "building filter");
  EXPECT_EQ(walk.done, 1u);
  EXPECT_EQ(walk.total, 2u);
  QORProgress::End();

  // A failed opening drops the model it replaced and leaves the reader's reason.
  QORTakeErrorText();
  EXPECT_EQ(provider.OpenModel(holder, "reading test file", "other.x",
                               [](int&, const Provider::Reporter&, std::string& error) {
                                 error = "other.x: line 3: expected '='";
                                 return false;
                               }),
            E_FAIL);
  EXPECT_FALSE(holder);
  EXPECT_EQ(QORTakeErrorText(), "other.x: line 3: expected '='");
}

}  // namespace
