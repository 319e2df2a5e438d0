// QORJsonFilterWriter.h - the filter document generator, reached by the host through
// TIEQORIInputFilterGeneratorQORJsonFilterWriter under "INPUT_FILTER_GENERATOR".
//
// It never reads the foreign file: it creates the structure provider "INPUT_" + format
// + "_FILTER", walks its columns and entity tree into the filter document, decides each
// entity's import mode with the settings store, and holds the document for the dialog
// and the reader. QORCloudJsonFilter derives from it.
#pragma once

#include "DXWebViewerOwner.h"
#include "DataExchangeUtilities/QORDXUnicodeString.h"
#include "FilterSettingsStore.h"
#include "InputFilteringInterfaces/QORIInputFilterStructure.h"
#include "JsonStreams/JOStream.h"
#include "ObjectModelRuntime/QORBaseUnknown.h"
#include "ObjectModelRuntime/QORListValQORUnicodeString.h"

class DXWebViewer;
class QORCommand;
class QORIResolvedInputFilter;
class QORResolvedFilter;

class QORJsonFilterWriter : public QORBaseUnknown, public DXWebViewerOwner {
 public:
  QORJsonFilterWriter();
  ~QORJsonFilterWriter() override;

  static const QORMetaClass* MetaObject();
  const QORMetaClass* GetMetaObject() const override;
  const char* IsA() const override;
  int IsAKindOf(const char* className) const override;

  // Own operations 1 to 8; the TIE forwards interface methods 1 to 6 to 1 to 6.
  virtual void AddEntityList(const int& kind, const QORListValQORUnicodeString& names);
  virtual HRESULT GenerateDocument(QORUnicodeString format, QORUnicodeString sourcePath,
                                   const QORUnicodeString* settingsText);
  virtual HRESULT LoadDocumentFromFile(QORUnicodeString path, const QORUnicodeString* settingsText);
  virtual HRESULT ShowFilterDialog(QORCommand* father);
  virtual HRESULT GetResolvedFilter(QORIResolvedInputFilter** out);
  HRESULT SaveDocumentToFile(QORUnicodeString path) override;
  HRESULT SetDocumentFromText(const QORUnicodeString& text);
  // The dialog's road: text's bytes may become the document's, leaving text empty.
  HRESULT SetDocumentFromText(QORUnicodeString&& text) override;
  const QORUnicodeString& GetSourcePath() override;

  // Deepest entity tree that fits the JSON streams' nesting limit: a node at tree
  // depth d nests 2d + 1 deep, and its "uid" array two levels more.
  static constexpr int kMaxTreeDepth = (JSON::kMaxDepth - 3) / 2;

 protected:
  HRESULT BuildDocument(const QORIInputFilterStructure_var& provider);
  // Write the tree's nodes straight into the document's text: a large model's tree built
  // as nested streams copied every byte several times. False when the provider's tree loops
  // back on itself or nests too deep.
  bool BuildSubtree(const QORIInputFilterStructure_var& provider, void* entity, int depth,
                    JSON::JOStream::ValueWriter& out);
  // The node's text up to, not including, its children and closing brace.
  void BuildNode(const QORIInputFilterStructure_var& provider, void* entity,
                 JSON::JOStream::ValueWriter& out);
  // Detaches the dialog from this owner, asks for its delayed destruction, forgets it.
  void DropDialog();
  // Has a new reader read the document as it stands and hands out its interface;
  // the creation reference is released on every way out.
  HRESULT HandOutReader(QORResolvedFilter* reader, QORIResolvedInputFilter** out);

  JSON::JOStream _document;
  FilterSettingsStore* _pSettings = nullptr;
  DXValueSetMap _valueSets;
  DXWebViewer* _pDialog = nullptr;
  QORUnicodeString _sourcePath;

 private:
  // Entities on the path from the root to the node being built (loop detection).
  std::vector<void*> _ancestors;
  // One node's cells while it is written, kept between nodes for their capacity.
  struct Cell {
    int column = 0;  // in the node's column list; -1 when its name was handed over
    bool isNLS = false;
    QORUnicodeString value;
    std::string heldName;   // the bytes of a name handed over to the provider's call
    std::string_view name;  // the column's name, valid while the node is written
  };
  std::vector<Cell> _cells;
  // The rest of a node's answers, likewise kept between nodes.
  struct NodeScratch {
    QORUnicodeString label, mode, text;
    QORListValQORUnicodeString uids, columnNames, possibleValues, keys, values;
    std::vector<std::string_view> cellNames, dataKeys;
  };
  // The node's text from its answers in _scratch and _cells, when no object repeats a key;
  // out goes by value so that its position can live in a register.
  template <class Out>
  Out WriteNode(Out out, bool labelIsNLS, size_t cellCount, size_t nlsCount, int dataCount);
  NodeScratch _scratch;
};
