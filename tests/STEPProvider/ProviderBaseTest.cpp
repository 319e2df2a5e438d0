// ProviderBaseTest.cpp - the part every structure provider shares: fixed columns and their
// descriptions, the Import cells, and opening a model with the progress bar following the
// reader.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "InputFilteringInterfaces/QORInputFilterStructureBase.h"
#include "ObjectModelRuntime/QORErrorText.h"
#include "ObjectModelRuntime/QORProgress.h"

namespace {

constexpr QORFilterColumn kColumns[] = {{"Entity", QORDXColumnType::kReadOnlyText},
                                        {"Import", QORDXColumnType::kBoolean},
                                        {"ImportMode", QORDXColumnType::kEnumeration},
                                        {"Size", QORDXColumnType::kNumber}};

struct Model {
  int opened = 0;
};

class Provider : public QORInputFilterStructureBase {
 public:
  Provider() : QORInputFilterStructureBase(kColumns, "DXTestProvider") {}
  using QORInputFilterStructureBase::BeginWalk;
  using QORInputFilterStructureBase::ColumnIndex;
  using QORInputFilterStructureBase::FileName;
  using QORInputFilterStructureBase::ImportCell;
  using QORInputFilterStructureBase::OpenModel;
  using QORInputFilterStructureBase::WalkStep;
};

std::vector<std::string> Strings(const QORListValQORUnicodeString& list) {
  std::vector<std::string> out;
  for (int i = 1; i <= list.Size(); ++i) out.push_back(list[i].Str());
  return out;
}

TEST(ProviderBase, ColumnsAndImportCells) {
  Provider provider;
  QORListValQORUnicodeString names;
  ASSERT_EQ(provider.GetColumns(names), S_OK);
  EXPECT_EQ(Strings(names), (std::vector<std::string>{"Entity", "Import", "ImportMode", "Size"}));

  QORUnicodeString text;
  int32_t type = -1;
  QORListValQORUnicodeString values;
  ASSERT_EQ(provider.GetColumnDescription(QORUnicodeString("tree"), text, type, values), S_OK);
  EXPECT_EQ(text.Str(), "DXTestProvider.Column_Entity");
  EXPECT_EQ(type, QORDXColumnType::kReadOnlyText);
  EXPECT_EQ(values.Size(), 0);
  ASSERT_EQ(provider.GetColumnDescription(QORUnicodeString("ImportMode"), text, type, values),
            S_OK);
  EXPECT_EQ(type, QORDXColumnType::kEnumeration);
  EXPECT_EQ(Strings(values),
            (std::vector<std::string>{"NoImport", "ForLifecycle", "ForCoordination", "ForDesign"}));
  EXPECT_EQ(provider.GetColumnDescription(QORUnicodeString("Sizes"), text, type, values),
            E_INVALIDARG);

  const QORUnicodeString no("NoImport"), design("ForDesign");
  struct Cell {
    const char* column;
    const QORUnicodeString* mode;
    const char* value;  // null: the base leaves the column to the provider
  };
  for (const Cell& c :
       {Cell{"Import", &no, "false"}, Cell{"Import", &design, "true"},
        Cell{"Import", nullptr, "true"}, Cell{"ImportMode", &design, "ForDesign"},
        Cell{"ImportMode", nullptr, ""}, Cell{"Size", &no, nullptr}, Cell{"Nope", &no, nullptr}}) {
    QORUnicodeString value;
    EXPECT_EQ(provider.ImportCell(provider.ColumnIndex(c.column), c.mode, value),
              c.value != nullptr)
        << c.column;
    if (c.value != nullptr) {
      EXPECT_EQ(value.Str(), c.value) << c.column;
    }
  }
}

TEST(ProviderBase, OpeningFollowsTheReaderAndKeepsNothingOnFailure) {
  Provider provider;
  std::unique_ptr<Model> holder;
  std::vector<QORProgress::Snapshot> seen;
  const HRESULT opened = provider.OpenModel(
      holder, "reading test file", "/some/folder/house.x",
      [&](Model& model, const QORInputFilterStructureBase::Reporter& report, std::string&) {
        seen.push_back(QORProgress::Read());  // before the reader knows the size
        report(300, 1000);
        seen.push_back(QORProgress::Read());
        report(800, 1000);
        seen.push_back(QORProgress::Read());
        model.opened = 1;
        return true;
      });
  ASSERT_EQ(opened, S_OK);
  ASSERT_TRUE(holder);
  EXPECT_EQ(holder->opened, 1);
  EXPECT_EQ(provider.FileName(), "house.x");
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].phase, "reading test file");
  EXPECT_EQ(seen[0].total, 0u);
  EXPECT_EQ(seen[1].done, 300u);
  EXPECT_EQ(seen[1].total, 1000u);
  EXPECT_EQ(seen[2].done, 800u);
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
  const HRESULT failed = provider.OpenModel(
      holder, "reading test file", "other.x",
      [](Model&, const QORInputFilterStructureBase::Reporter&, std::string& error) {
        error = "other.x: line 3: expected '='";
        return false;
      });
  EXPECT_EQ(failed, E_FAIL);
  EXPECT_FALSE(holder);
  EXPECT_EQ(provider.FileName(), "");
  EXPECT_EQ(QORTakeErrorText(), "other.x: line 3: expected '='");
  EXPECT_EQ(QORProgress::Read().phase, "");
}

}  // namespace
