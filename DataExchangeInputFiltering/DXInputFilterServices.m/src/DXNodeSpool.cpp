// DXNodeSpool.cpp - the records of a block and the writer's thread.
#include "DXNodeSpool.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <system_error>

// A block is a run of records:
//   'P' length text                              punctuation
//   'N' labelIsNLS uids cells data label         a node, then its texts in order: each uid;
//       ... name value isNLS ... key value ...   each cell's name, value and flag; each datum
// with lengths and counts as 32-bit numbers in the machine's order, flags as one byte.
namespace {

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

char* PutNumber(char* out, size_t n) {
  const auto number = static_cast<uint32_t>(n);
  std::memcpy(out, &number, sizeof number);
  return out + sizeof number;
}
char* PutText(char* out, std::string_view text) {
  out = PutNumber(out, text.size());
  std::memcpy(out, text.data(), text.size());
  return out + text.size();
}

}  // namespace

char* DXNodeSpool::Bytes::Take(size_t n) {
  if (capacity - size < n) {
    const size_t grown = std::max(capacity * 2, size + n);
    auto larger = std::make_unique<char[]>(grown);
    if (size != 0) std::memcpy(larger.get(), data.get(), size);
    data = std::move(larger);
    capacity = grown;
  }
  char* at = data.get() + size;
  size += n;
  return at;
}

DXNodeSpool::DXNodeSpool(JSON::JOStream::ValueWriter& out) : _out(out) {
  for (Block& block : _blocks) block.bytes.Take(kBlockBytes + (kBlockBytes >> 2));
  for (Block& block : _blocks) block.bytes.size = 0;
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
  char* out = _blocks[_filling].bytes.Take(1 + 4 + text.size());
  *out++ = 'P';
  PutText(out, text);
}

void DXNodeSpool::Node(const DXNodeText& node) {
  // Texts longer than a record can say are cut: no provider answers gigabytes for a node.
  auto fit = [](std::string_view text) { return text.substr(0, UINT32_MAX); };
  size_t size = 2 + 3 * 4 + 4 + fit(node.label).size();
  for (const std::string_view uid : node.uids) size += 4 + fit(uid).size();
  for (const DXNodeText::Cell& cell : node.cells)
    size += 9 + fit(cell.name).size() + fit(cell.value).size();
  for (const auto& [key, value] : node.data) size += 8 + fit(key).size() + fit(value).size();
  Bytes& bytes = _blocks[_filling].bytes;
  char* out = bytes.Take(size);
  *out++ = 'N';
  *out++ = node.labelIsNLS ? 1 : 0;
  out = PutNumber(out, node.uids.size());
  out = PutNumber(out, node.cells.size());
  out = PutNumber(out, node.data.size());
  out = PutText(out, fit(node.label));
  for (const std::string_view uid : node.uids) out = PutText(out, fit(uid));
  for (const DXNodeText::Cell& cell : node.cells) {
    out = PutText(out, fit(cell.name));
    out = PutText(out, fit(cell.value));
    *out++ = cell.isNLS ? 1 : 0;
  }
  for (const auto& [key, value] : node.data) {
    out = PutText(out, fit(key));
    out = PutText(out, fit(value));
  }
  if (bytes.size >= kBlockBytes) HandOver(false);
}

void DXNodeSpool::Finish() {
  if (_stopped) return;
  _stopped = true;
  HandOver(true);
  if (_writer.joinable()) _writer.join();
  if (_error) std::rethrow_exception(_error);
}

void DXNodeSpool::HandOver(bool last) {
  Block& block = _blocks[_filling];
  if (!_writer.joinable()) {
    WriteBlock(block.bytes);
    block.bytes.size = 0;
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
    block.bytes.size = 0;
    {
      std::lock_guard<std::mutex> lock(_mutex);
      block.full = false;
    }
    _changed.notify_one();
    if (last) return;
    turn ^= 1;
  }
}

void DXNodeSpool::WriteBlock(const Bytes& bytes) {
  Reader in{bytes.data.get()};
  const char* const end = in.p + bytes.size;
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
