// ProviderFixture.h - a structure provider as the host uses it: its module loaded from disk,
// a file's document generated and saved, read back, and its rows answered by the reader.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "InputFilteringInterfaces/QORIInputFilterGenerator.h"
#include "InputFilteringInterfaces/QORIResolvedInputFilter.h"
#include "JsonStreams/JIStream.h"
#include "ObjectModelRuntime/QORBaseUnknown_var.h"
#include "ObjectModelRuntime/QORErrorText.h"
#include "ObjectModelRuntime/QORInstantiateComponent.h"
#include "ObjectModelRuntime/QOROMModule.h"

class ProviderFixture : public ::testing::Test {
 protected:
  using Generator_var = QORInterface_var<QORIInputFilterGenerator>;

  // From a derived fixture's SetUpTestSuite.
  static void LoadModules(const char* providerModule) {
    std::string error;
    ASSERT_GE(QORLoadModule("libDXInputFilterServices.so", &error), 0) << error;
    ASSERT_GE(QORLoadModule(providerModule, &error), 0) << error;
  }

  static Generator_var NewGenerator() {
    void* p = nullptr;
    EXPECT_EQ(QORInstantiateComponent("INPUT_FILTER_GENERATOR", IID_QORIInputFilterGenerator, &p),
              S_OK);
    Generator_var g(static_cast<QORIInputFilterGenerator*>(p));
    static_cast<QORBaseUnknown*>(p)->Release();
    return g;
  }

  // The generator refuses the file, with an error text holding `reason`.
  static void ExpectRefused(const char* format, const std::string& path, const std::string& reason,
                            const QORUnicodeString* settings = nullptr) {
    QORTakeErrorText();
    EXPECT_LT(NewGenerator()->GenerateDocument(format, QORUnicodeString(path), settings), 0)
        << path;
    const std::string text = QORTakeErrorText();
    EXPECT_NE(text.find(reason), std::string::npos) << path << ": " << text;
  }

  // Generates the file's document with the entities of `removes` left out, saves it, reads it
  // back and lists its rows.
  void Generate(const char* format, const std::string& file, const QORUnicodeString* settings,
                const std::vector<std::string>& removes = {}) {
    Generator_var generator = NewGenerator();
    QORListValQORUnicodeString names;
    for (const std::string& r : removes) names.Append(QORUnicodeString(r));
    if (!removes.empty()) generator->AddEntityList(0, names);
    ASSERT_EQ(generator->GenerateDocument(format, QORUnicodeString(file), settings), S_OK)
        << QORTakeErrorText();
    const std::string path = ::testing::TempDir() + "/provider.filter.json";
    ASSERT_EQ(generator->SaveDocumentToFile(QORUnicodeString(path)), S_OK);
    ASSERT_TRUE(_document.ParseFile(QORUnicodeString(path)));
    QORIResolvedInputFilter* raw = nullptr;
    ASSERT_EQ(generator->GetResolvedFilter(&raw), S_OK);
    _reader = QORInterface_var<QORIResolvedInputFilter>(raw);
    raw->Release();
    _rows.clear();
    List(_document.ReadObjects("roots"), "");
  }

  // Position in the document of the first row whose path of labels ("Gearbox/Housing") or
  // label is `key`; SIZE_MAX for none.
  std::size_t Position(const std::string& key) const {
    for (std::size_t i = 0; i < _rows.size(); ++i) {
      const std::string& path = _rows[i].first;
      if (path == key || path.ends_with("/" + key)) return i;
    }
    return SIZE_MAX;
  }

  // The reader's answer for that row; "<none>" when it has no value.
  std::string Answer(const std::string& key, const char* column) const {
    const std::size_t i = Position(key);
    if (i == SIZE_MAX) return "<no entity " + key + ">";
    QORUnicodeString value;
    if (_reader->GetObjectAttribute(QORUnicodeString(_rows[i].second), QORUnicodeString(column),
                                    value) < 0)
      return "<none>";
    return value.Str();
  }

  JSON::JIStream _document;
  QORInterface_var<QORIResolvedInputFilter> _reader;
  std::vector<std::pair<std::string, std::string>> _rows;  // path of labels and uid, in order

 private:
  void List(const std::vector<JSON::JIStream>& nodes, const std::string& above) {
    for (const JSON::JIStream& node : nodes) {
      const JSON::JIStream data = node.ReadObject("data");
      const std::string path = above + (node.Exist("label") ? node.ReadString("label").Str()
                                                            : data.ReadString("NLS_label").Str());
      const std::vector<QORUnicodeString> uids = data.ReadStrings("uid");
      _rows.emplace_back(path, uids.empty() ? "" : uids.front().Str());
      List(node.ReadObjects("children"), path + "/");
    }
  }
};
