// DXNodeSpool.h - the tree's nodes go from the thread that asks the provider to a second
// thread that writes their text into the document. The provider is asked on one thread
// only, in tree order, as before; its answers are copied into a block of bytes, and blocks
// go over to the writer in turns. Escaping, checking keys and filling the document's fresh
// pages then happen beside the provider's calls instead of after each of them.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "DXNodeText.h"

class DXNodeSpool {
 public:
  // Writes into out until Finish; nobody else touches out till then. Without a thread to be
  // had, each block is written where it is handed over.
  explicit DXNodeSpool(JSON::JOStream::ValueWriter& out);
  // Finishes, dropping what the writer threw: only a caller that gave up gets here unfinished.
  ~DXNodeSpool();
  DXNodeSpool(const DXNodeSpool&) = delete;
  DXNodeSpool& operator=(const DXNodeSpool&) = delete;

  // Punctuation between nodes, written in its place among them.
  void Put(char c) { Write(std::string_view(&c, 1)); }
  void Write(std::string_view text);
  // A node's answers, in this order: BeginNode, its uids, its cells in column order, its
  // data, EndNode.
  void BeginNode(bool labelIsNLS, std::string_view label);
  void Uid(std::string_view uid) {
    Text(uid);
    ++_counts[0];
  }
  void Cell(std::string_view name, std::string_view value, bool isNLS);
  void Data(std::string_view key, std::string_view value);
  void EndNode();
  // Writes what is left and waits for the writer; what it threw goes on from here.
  void Finish();

 private:
  // A block goes over once it holds this much; one node may take it past that.
  static constexpr size_t kBlockBytes = size_t{192} << 10;
  struct Block {
    std::string bytes;
    bool full = false;  // handed over and not written yet; under _mutex
    bool last = false;  // the writer stops after this one; under _mutex
  };

  void Text(std::string_view text);
  void HandOver(bool last);
  void Run();
  // The records of a block into the document.
  void WriteBlock(const std::string& bytes);

  JSON::JOStream::ValueWriter& _out;
  Block _blocks[2];
  int _filling = 0;
  size_t _node = 0;          // where the open node's record starts in its block
  bool _inNode = false;      // between BeginNode and EndNode
  uint32_t _counts[3] = {};  // the open node's uids, cells and data
  bool _stopped = false;     // Finish has run
  DXNodeText _view;          // the writer's view of one node
  std::mutex _mutex;
  std::condition_variable _changed;
  std::exception_ptr _error;  // the writer's, read after it ended
  std::thread _writer;
};
