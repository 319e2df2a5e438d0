// DXNodeSpool.cpp - the records of a block and the writer's thread.
#include "DXNodeSpool.h"

#include <cstring>
#include <system_error>

// A block is a run of records:
//   'P' length text                              punctuation
//   'N' labelIsNLS uids cells data label         a node, then its texts in order: each uid;
//       ... name value isNLS ... key value ...   each cell's name, value and flag; each datum
// with lengths and counts as 32-bit numbers in the machine's order, flags as one byte.
namespace {

constexpr size_t kCountsAt = 2;  // from the node's 'N'

void PutNumber(std::string& bytes, uint32_t n) {
  bytes.append(reinterpret_cast<const char*>(&n), sizeof n);
}

// The reading side of the records, over bytes this process wrote.
struct Reader {
  const char* p;
  uint32_t Number() {
    uint32_t n;
    std::memcpy(&n, p, sizeof n);
    p += sizeof n;
    return n;
  }
  std::string_view Text() {
    const uint32_t size = Number();
    const std::string_view text(p, size);
    p += size;
    return text;
  }
};

}  // namespace

DXNodeSpool::DXNodeSpool(JSON::JOStream::ValueWriter& out) : _out(out) {
  for (Block& block : _blocks) block.bytes.reserve(kBlockBytes + (kBlockBytes >> 2));
  try {
    _writer = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    // No second thread: blocks are written where they are handed over.
  }
}

DXNodeSpool::~DXNodeSpool() {
  try {
    Finish();
  } catch (...) {
    // The text is dropped by the caller that gave up.
  }
}

void DXNodeSpool::Write(std::string_view text) {
  _blocks[_filling].bytes.push_back('P');
  Text(text);
}

void DXNodeSpool::Text(std::string_view text) {
  std::string& bytes = _blocks[_filling].bytes;
  PutNumber(bytes, static_cast<uint32_t>(text.size()));
  bytes.append(text);
}

void DXNodeSpool::BeginNode(bool labelIsNLS, std::string_view label) {
  std::string& bytes = _blocks[_filling].bytes;
  _node = bytes.size();
  _inNode = true;
  bytes.push_back('N');
  bytes.push_back(labelIsNLS ? 1 : 0);
  bytes.append(sizeof _counts, '\0');
  Text(label);
  _counts[0] = _counts[1] = _counts[2] = 0;
}

void DXNodeSpool::Cell(std::string_view name, std::string_view value, bool isNLS) {
  Text(name);
  Text(value);
  _blocks[_filling].bytes.push_back(isNLS ? 1 : 0);
  ++_counts[1];
}

void DXNodeSpool::Data(std::string_view key, std::string_view value) {
  Text(key);
  Text(value);
  ++_counts[2];
}

void DXNodeSpool::EndNode() {
  std::string& bytes = _blocks[_filling].bytes;
  std::memcpy(bytes.data() + _node + kCountsAt, _counts, sizeof _counts);
  _inNode = false;
  if (bytes.size() >= kBlockBytes) HandOver(false);
}

void DXNodeSpool::Finish() {
  if (_stopped) return;
  _stopped = true;
  // A node left open by a caller that gave up has no counts yet: it goes.
  if (_inNode) _blocks[_filling].bytes.resize(_node);
  HandOver(true);
  if (_writer.joinable()) _writer.join();
  if (_error) std::rethrow_exception(_error);
}

void DXNodeSpool::HandOver(bool last) {
  Block& block = _blocks[_filling];
  if (!_writer.joinable()) {
    WriteBlock(block.bytes);
    block.bytes.clear();
    return;
  }
  Block& other = _blocks[_filling ^ 1];
  std::unique_lock<std::mutex> lock(_mutex);
  block.full = true;
  block.last = last;
  _changed.notify_one();
  if (last) return;
  // The writer sleeps while this side fills a block, so that it takes no time from it.
  _changed.wait(lock, [&] { return !other.full; });
  _filling ^= 1;
}

void DXNodeSpool::Run() {
  int turn = 0;
  bool failed = false;
  for (;;) {
    Block& block = _blocks[turn];
    bool last = false;
    {
      std::unique_lock<std::mutex> lock(_mutex);
      _changed.wait(lock, [&] { return block.full; });
      last = block.last;
    }
    // After a throw the rest is only let go, so that the other side never waits for it.
    if (!failed) {
      try {
        WriteBlock(block.bytes);
      } catch (...) {
        _error = std::current_exception();
        failed = true;
      }
    }
    block.bytes.clear();
    {
      std::lock_guard<std::mutex> lock(_mutex);
      block.full = false;
    }
    _changed.notify_one();
    if (last) return;
    turn ^= 1;
  }
}

void DXNodeSpool::WriteBlock(const std::string& bytes) {
  Reader in{bytes.data()};
  const char* const end = bytes.data() + bytes.size();
  DXNodeText& node = _view;
  while (in.p < end) {
    if (*in.p++ == 'P') {
      _out.Write(in.Text());
      continue;
    }
    node.Clear();
    node.labelIsNLS = *in.p++ != 0;
    const uint32_t uids = in.Number();
    const uint32_t cells = in.Number();
    const uint32_t data = in.Number();
    node.label = in.Text();
    for (uint32_t i = 0; i < uids; ++i) node.uids.push_back(in.Text());
    for (uint32_t i = 0; i < cells; ++i) {
      DXNodeText::Cell& cell = node.cells.emplace_back();
      cell.name = in.Text();
      cell.value = in.Text();
      cell.isNLS = *in.p++ != 0;
    }
    for (uint32_t i = 0; i < data; ++i) {
      const std::string_view key = in.Text();
      node.data.emplace_back(key, in.Text());
    }
    node.WriteTo(_out);
  }
}
