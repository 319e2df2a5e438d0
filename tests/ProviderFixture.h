// ProviderFixture.h - a structure provider as the host uses it: its module loaded from disk,
// a file's document generated and saved, read back, and its rows answered by the reader.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <string>
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
  typedef QORInterface_var<QORIInputFilterGenerator> Generator_var;
  typedef QORInterface_var<QORIResolvedInputFilter> Reader_var;

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

  // A file of `text` in the test's temporary folder; its path.
  static std::string WriteTemp(const std::string& name, const std::string& text) {
    const std::string path = ::testing::TempDir() + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
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
  // back and indexes its rows.
  void Generate(const char* format, const std::string& file, const QORUnicodeString* settings,
                const std::vector<std::string>& removes = {}) {
    Generator_var generator = NewGenerator();
    if (!removes.empty()) {
      QORListValQORUnicodeString names;
      for (const std::string& r : removes) names.Append(QORUnicodeString(r));
      generator->AddEntityList(0, names);
    }
    ASSERT_EQ(generator->GenerateDocument(format, QORUnicodeString(file), settings), S_OK)
        << QORTakeErrorText();
    const std::string path = ::testing::TempDir() + "/provider.filter.json";
    ASSERT_EQ(generator->SaveDocumentToFile(QORUnicodeString(path)), S_OK);
    ASSERT_TRUE(_document.ParseFile(QORUnicodeString(path)));
    QORIResolvedInputFilter* raw = nullptr;
    ASSERT_EQ(generator->GetResolvedFilter(&raw), S_OK);
    _reader = Reader_var(raw);
    raw->Release();
    Index(_document.ReadObjects("roots"), "", 0);
  }

  // The reader's answer for the row of a path of labels ("Gearbox/Housing") or, when no path
  // matches, of a label; "<none>" when it has no value.
  std::string Answer(const std::string& key, const char* column) {
    auto it = _uidByPath.find(key);
    if (it == _uidByPath.end()) it = _uidByLabel.find(key);
    if (it == _uidByLabel.end()) return "<no entity " + key + ">";
    QORUnicodeString value;
    if (_reader->GetObjectAttribute(QORUnicodeString(it->second), QORUnicodeString(column), value) <
        0)
      return "<none>";
    return value.Str();
  }

  // Row of a label in document order.
  std::size_t Position(const std::string& label) const {
    for (std::size_t i = 0; i < _order.size(); ++i)
      if (_order[i] == label) return i;
    return SIZE_MAX;
  }

  JSON::JIStream _document;
  Reader_var _reader;
  std::map<std::string, std::string> _uidByPath;   // rows with a uid
  std::map<std::string, std::string> _uidByLabel;  // the first row of each label
  std::map<std::string, int> _depth;               // by label
  std::vector<std::string> _order;                 // labels in document order

 private:
  void Index(const std::vector<JSON::JIStream>& nodes, const std::string& above, int depth) {
    for (const JSON::JIStream& node : nodes) {
      const JSON::JIStream data = node.ReadObject("data");
      const std::string label =
          node.Exist("label") ? node.ReadString("label").Str() : data.ReadString("NLS_label").Str();
      const std::string path = above + label;
      const std::vector<QORUnicodeString> uids = data.ReadStrings("uid");
      if (!uids.empty()) {
        _uidByPath[path] = uids.front().Str();
        _uidByLabel.emplace(label, uids.front().Str());
      }
      _order.push_back(label);
      _depth.emplace(label, depth);
      Index(node.ReadObjects("children"), path + "/", depth + 1);
    }
  }
};
