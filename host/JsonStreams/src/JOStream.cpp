// JOStream.cpp - a JSON object built member by member.
//
// Each object keeps its members already serialised, ",\"key\":value", in one text buffer,
// with a small index of where each member's text starts. A nested stream added by
// rvalue is either copied into that text ("sealed") or, when it holds streams of its own
// or its bytes were already copied often, kept as an owned child whose text is spliced in
// at a recorded position (a "hole") when the object is written. Each byte is copied at
// most kMaxCopies times while a tree is built, so a tree of N nodes costs O(N) whatever
// its shape, and the memory is little more than the compact text itself.
//
// Not RapidJSON's DOM: it reserves kilobytes per object, its AddMember never replaces a
// key and its RemoveMember reorders members.
//
// Writing, copying and destroying walk the tree with explicit stacks: a tree deeper than
// kMaxDepth is still written (it is valid JSON, which parsers, ours included, refuse to
// read back), and nothing recurses on the depth.
#include "JsonStreams/JOStream.h"

#include <simdjson.h>
#include <sys/mman.h>

#include <algorithm>
#include <cassert>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "Document.h"
#include "JsonText.h"
#include "ObjectModelRuntime/QORGetEnv.h"

namespace JSON {

using detail::BufferSink;
using detail::ByteBuffer;
using detail::WriteQuoted;

namespace {

// Sealing a child copies its bytes into the parent once more; past this count a child
// stays a separate object. Three lets a filter node's "data" (holding "NLS_grid") and a
// whole leaf node be sealed, so only nodes with children stay separate objects.
constexpr uint8_t kMaxCopies = 3;
// A child larger than this stays a separate object even when it could be sealed: copying a
// whole storey of nodes into its parent would copy most of a large document once more, and
// grow the parent's buffer through reallocations that copy it again.
constexpr uint64_t kMaxSealedBytes = 64 * 1024;
// Room taken at once for a value written in one pass (AddWritten).
constexpr uint64_t kWrittenReserve = uint64_t{64} << 20;
// Objects with more members than this find keys through a hash index.
constexpr size_t kIndexedFrom = 16;

struct Member {
  uint64_t offset;     // of the ',' that starts the member's text
  uint64_t length;     // of the member's text, children spliced in excluded
  uint32_t keyLength;  // of the quoted key that follows the ','
  uint32_t keyHash;    // compared before the key's bytes
  uint32_t firstHole;
  uint32_t holeCount;
};

// Keys are short, so a word-at-a-time mix does; std::hash costs more than the lookup.
// Tails are read as whole overlapping words: a copy of a few bytes into a word stalls.
size_t HashKey(std::string_view key) {
  const char* p = key.data();
  const size_t size = key.size();
  uint64_t hash = 0x9E3779B97F4A7C15ULL ^ size;
  auto mix = [&hash](uint64_t word) {
    hash = (hash ^ word) * 0xBF58476D1CE4E5B9ULL;
    hash ^= hash >> 29;
  };
  if (size >= 8) {
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
      uint64_t word;
      std::memcpy(&word, p + i, 8);
      mix(word);
    }
    if (i < size) {
      uint64_t word;
      std::memcpy(&word, p + size - 8, 8);
      mix(word);
    }
  } else if (size >= 4) {
    uint32_t first, last;
    std::memcpy(&first, p, 4);
    std::memcpy(&last, p + size - 4, 4);
    mix((uint64_t{first} << 32) | last);
  } else if (size > 0) {
    const auto byte = [p](size_t i) { return uint64_t{static_cast<unsigned char>(p[i])}; };
    mix((byte(0) << 16) | (byte(size / 2) << 8) | byte(size - 1));
  }
  return static_cast<size_t>(hash);
}

// Each fresh page of a block written once from start to end costs a fault, which under a
// hypervisor costs about as much as writing the page: huge pages take 512 at once. Only
// advice: a kernel that does not follow it changes nothing but the speed.
void AdviseHugePages(const ByteBuffer& buffer) {
  constexpr uintptr_t kPage = 4096;
  const auto begin = (reinterpret_cast<uintptr_t>(buffer.Data()) + kPage - 1) & ~(kPage - 1);
  const auto end = (reinterpret_cast<uintptr_t>(buffer.Data()) + buffer.Capacity()) & ~(kPage - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

}  // namespace

struct JOStream::Impl {
  struct Hole {
    uint64_t position;  // in text, inside the member that holds it
    uint64_t size;      // compact size of the child
    std::unique_ptr<Impl> child;
  };
  // Where a member being added started.
  struct Pending {
    uint64_t offset;
    uint32_t keyLength;
    uint32_t firstHole;
  };

  ByteBuffer text;
  std::vector<Member> members;
  std::vector<Hole> holes;
  uint64_t liveBytes = 0;  // members' text plus their children's compact size
  uint64_t garbage = 0;    // text of replaced members
  uint32_t deadHoles = 0;  // holes of replaced members
  uint8_t copies = 0;      // most times any byte of text was copied in by sealing
  std::unique_ptr<std::unordered_multimap<size_t, uint32_t>> index;

  Impl() = default;
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  // Children are freed from a work list: the default would recurse once per level.
  ~Impl() {
    std::vector<std::unique_ptr<Impl>> pending;
    auto release = [&pending](Impl& impl) {
      for (Hole& hole : impl.holes) {
        if (hole.child) pending.push_back(std::move(hole.child));
      }
      impl.holes.clear();
    };
    release(*this);
    while (!pending.empty()) {
      std::unique_ptr<Impl> impl = std::move(pending.back());
      pending.pop_back();
      release(*impl);
    }
  }

  // A tree under construction makes and drops objects by the million (a leaf's "data"
  // and "grid" live only until sealed into the leaf); a few dropped ones are kept per
  // thread, buffers included, so that the next ones need no allocation.
  static constexpr size_t kPooled = 32;
  static constexpr size_t kPooledCapacity = 4096;
  struct Pool {
    std::vector<std::unique_ptr<Impl>> free;
    ~Pool() { Closed() = true; }
  };
  static bool& Closed() {  // trivially destructible, so still readable while the thread ends
    thread_local bool closed = false;
    return closed;
  }
  static Pool& ThisThreadPool() {
    thread_local Pool pool;
    return pool;
  }
  static std::unique_ptr<Impl> Take() {
    if (!Closed()) {
      Pool& pool = ThisThreadPool();
      if (!pool.free.empty()) {
        std::unique_ptr<Impl> impl = std::move(pool.free.back());
        pool.free.pop_back();
        return impl;
      }
    }
    return std::make_unique<Impl>();
  }
  static void Recycle(std::unique_ptr<Impl> impl) {
    if (Closed() || !impl->holes.empty() || impl->index ||
        impl->text.Capacity() > kPooledCapacity || impl->members.capacity() > 64)
      return;
    Pool& pool = ThisThreadPool();
    if (pool.free.size() >= kPooled) return;
    impl->text.Clear();
    impl->members.clear();
    impl->liveBytes = impl->garbage = 0;
    impl->deadHoles = 0;
    impl->copies = 0;
    pool.free.push_back(std::move(impl));
  }

  uint64_t CompactSize() const { return members.empty() ? 2 : liveBytes + 1; }
  bool Sealable() const {
    return holes.empty() && copies < kMaxCopies && liveBytes < kMaxSealedBytes;
  }
  std::string_view KeyOf(const Member& member) const {
    return std::string_view(text.Data() + member.offset + 1, member.keyLength);
  }

  long Find(std::string_view quotedKey, size_t hash) const {
    if (index) {
      const auto range = index->equal_range(hash);
      for (auto it = range.first; it != range.second; ++it) {
        if (KeyOf(members[it->second]) == quotedKey) return it->second;
      }
      return -1;
    }
    const uint32_t shortHash = static_cast<uint32_t>(hash);
    for (size_t i = 0; i < members.size(); ++i) {
      const Member& member = members[i];
      if (member.keyHash == shortHash && member.keyLength == quotedKey.size() &&
          KeyOf(member) == quotedKey)
        return static_cast<long>(i);
    }
    return -1;
  }

  Pending BeginMember(std::string_view key) {
    Pending pending{text.Size(), 0, static_cast<uint32_t>(holes.size())};
    text.Put(',');
    detail::AppendQuoted(text, key);
    pending.keyLength = static_cast<uint32_t>(text.Size() - pending.offset - 1);
    text.Put(':');
    return pending;
  }

  // Records the member whose value was just written; a key already present keeps its
  // place and takes the new value.
  void EndMember(const Pending& pending, uint64_t childBytes) {
    const std::string_view key(text.Data() + pending.offset + 1, pending.keyLength);
    const size_t hash = HashKey(key);
    const Member member{pending.offset,    text.Size() - pending.offset,
                        pending.keyLength, static_cast<uint32_t>(hash),
                        pending.firstHole, static_cast<uint32_t>(holes.size() - pending.firstHole)};
    liveBytes += member.length + childBytes;
    const long existing = Find(key, hash);
    if (existing < 0) {
      if (members.empty()) members.reserve(8);
      members.push_back(member);
      if (index) {
        index->emplace(hash, static_cast<uint32_t>(members.size() - 1));
      } else if (members.size() > kIndexedFrom) {
        index = std::make_unique<std::unordered_multimap<size_t, uint32_t>>();
        for (size_t i = 0; i < members.size(); ++i)
          index->emplace(HashKey(KeyOf(members[i])), static_cast<uint32_t>(i));
      }
      return;
    }
    Member& old = members[static_cast<size_t>(existing)];
    liveBytes -= old.length;
    garbage += old.length;
    for (uint32_t h = old.firstHole; h < old.firstHole + old.holeCount; ++h) {
      liveBytes -= holes[h].size;
      holes[h].child.reset();
    }
    deadHoles += old.holeCount;
    old = member;
    if (garbage > text.Size() / 2 || deadHoles > holes.size() / 2) Compact();
  }

  // Rewrites text and holes without what replaced members left behind.
  void Compact() {
    ByteBuffer fresh;
    fresh.Reserve(text.Size() - garbage);
    std::vector<Hole> live;
    live.reserve(holes.size() - deadHoles);
    for (Member& member : members) {
      const uint64_t offset = fresh.Size();
      fresh.Write(text.Data() + member.offset, member.length);
      const uint32_t first = static_cast<uint32_t>(live.size());
      for (uint32_t h = member.firstHole; h < member.firstHole + member.holeCount; ++h)
        live.push_back(
            {holes[h].position - member.offset + offset, holes[h].size, std::move(holes[h].child)});
      member.offset = offset;
      member.firstHole = first;
    }
    text = std::move(fresh);
    holes = std::move(live);
    garbage = 0;
    deadHoles = 0;
  }

  // Appends a child given up by its owner as the value in progress; returns the bytes it
  // adds beyond text (its size when kept as a hole).
  uint64_t AppendMoved(std::unique_ptr<Impl> child) {
    if (!child || child->members.empty()) {
      text.Write("{}", 2);
      return 0;
    }
    if (child->Sealable()) {
      text.Room(child->CompactSize());
      BufferSink sink{text};
      child->WriteTo(sink, 0, child->members.size(), true);
      copies = std::max<uint8_t>(copies, child->copies + 1);
      Recycle(std::move(child));
      return 0;
    }
    child->text.ShrinkToFit();  // the child is final from now on
    const uint64_t size = child->CompactSize();
    holes.push_back({text.Size(), size, std::move(child)});
    return size;
  }

  // Appends a copy of another object as the value in progress.
  void AppendCopy(const Impl* other) {
    if (!other || other->members.empty()) {
      text.Write("{}", 2);
      return;
    }
    BufferSink sink{text};
    other->WriteTo(sink, 0, other->members.size(), true);
    copies = std::max<uint8_t>(copies, other->holes.empty() ? other->copies + 1 : kMaxCopies);
  }

  // Writes members [first, last), their children spliced in; as a whole object when
  // braces is set, else as member texts that each start with their ','.
  template <class Sink>
  void WriteTo(Sink& sink, size_t first, size_t last, bool braces) const {
    struct Frame {
      const Impl* impl;
      size_t member, last;
      uint32_t hole;      // next hole of the current member
      uint64_t position;  // next byte of the current member, or npos between members
    };
    constexpr uint64_t kBetween = ~uint64_t{0};
    detail::SmallStack<Frame, 32> stack;
    stack.push_back({this, first, last, 0, kBetween});
    if (braces) sink.Put('{');
    while (!stack.empty()) {
      Frame& frame = stack.back();
      const Impl& impl = *frame.impl;
      if (frame.position == kBetween) {
        if (frame.member == frame.last) {
          if (braces || stack.size() > 1) sink.Put('}');
          stack.pop_back();
          continue;
        }
        const Member& member = impl.members[frame.member];
        const bool skipComma = frame.member == 0 && (braces || stack.size() > 1);
        uint64_t from = member.offset + (skipComma ? 1 : 0);
        if (member.holeCount == 0) {
          // Members added one after another lie side by side: one write for the run.
          uint64_t to = member.offset + member.length;
          size_t next = frame.member + 1;
          while (next < frame.last && impl.members[next].holeCount == 0 &&
                 impl.members[next].offset == to) {
            to += impl.members[next].length;
            ++next;
          }
          sink.Write(impl.text.Data() + from, to - from);
          frame.member = next;
          continue;
        }
        frame.position = from;
        frame.hole = member.firstHole;
      }
      const Member& member = impl.members[frame.member];
      if (frame.hole < member.firstHole + member.holeCount) {
        const Hole& hole = impl.holes[frame.hole++];
        sink.Write(impl.text.Data() + frame.position, hole.position - frame.position);
        frame.position = hole.position;
        sink.Put('{');
        stack.push_back(
            {hole.child.get(), 0, hole.child->members.size(), 0, kBetween});  // frame now dangles
        continue;
      }
      sink.Write(impl.text.Data() + frame.position, member.offset + member.length - frame.position);
      frame.position = kBetween;
      ++frame.member;
    }
  }
};

// --- JOStream ---------------------------------------------------------------------

namespace {

// The parser that checks AddRawString's small texts is kept per thread: a parser per
// call would cost more than the check. Larger texts get their own parser, so the kept
// one never grows past this.
constexpr size_t kSharedCheckLimit = 64 * 1024;
static_assert(kMaxDepth == simdjson::DEFAULT_MAX_DEPTH,
              "the checking parsers use the default depth limit");

bool IsOneJsonValue(std::string_view text) {
  if (text.size() <= kSharedCheckLimit) {
    thread_local simdjson::dom::parser parser(kSharedCheckLimit);
    thread_local std::string padded;
    padded.reserve(kSharedCheckLimit + simdjson::SIMDJSON_PADDING);
    padded.assign(text);
    return !parser.parse(padded.data(), padded.size(), false).error();
  }
  simdjson::dom::parser parser;
  return !parser.parse(text.data(), text.size(), true).error();
}

}  // namespace

JOStream::JOStream() = default;

JOStream::JOStream(const JOStream& other) {
  if (!other._pImpl || other._pImpl->members.empty()) return;
  const Impl& source = *other._pImpl;
  _pImpl = std::make_unique<Impl>();
  Impl& self = *_pImpl;
  self.text.Reserve(source.CompactSize());
  BufferSink sink{self.text};
  // Member by member, so that each keeps its own text; children are spliced in.
  for (size_t i = 0; i < source.members.size(); ++i) {
    const uint64_t offset = self.text.Size();
    source.WriteTo(sink, i, i + 1, false);
    const Member& member = source.members[i];
    self.members.push_back(
        {offset, self.text.Size() - offset, member.keyLength, member.keyHash, 0, 0});
  }
  self.liveBytes = self.text.Size();
  self.copies = source.holes.empty() ? source.copies : kMaxCopies;
  if (source.index) {
    self.index = std::make_unique<std::unordered_multimap<size_t, uint32_t>>(*source.index);
  }
}

JOStream::JOStream(JOStream&& other) noexcept = default;

JOStream::JOStream(const JIStream& view) {
  if (!view.IsObject()) return;
  const Document& doc = *view._doc;
  const simdjson::dom::object object =
      detail::LoadElement(view._element).get_object().value_unsafe();
  for (auto it = object.begin(); it != object.end(); ++it) {
    Impl& self = Self();
    const std::string_view key = it.key();
    const Impl::Pending pending = self.BeginMember(key);
    BufferSink sink{self.text};
    detail::WriteElement(doc, it.value(), doc.StringPosition(key), sink);
    self.EndMember(pending, 0);
  }
}

JOStream& JOStream::operator=(const JOStream& other) {
  if (this != &other) {
    JOStream copy(other);
    _pImpl = std::move(copy._pImpl);
  }
  return *this;
}

JOStream& JOStream::operator=(JOStream&& other) noexcept = default;

JOStream::~JOStream() {
  if (_pImpl) Impl::Recycle(std::move(_pImpl));
}

// A stream allocates its state on first use: streams made and moved in bulk (a vector of
// nodes) cost nothing until written to.
JOStream::Impl& JOStream::Self() {
  if (!_pImpl) _pImpl = Impl::Take();
  return *_pImpl;
}

void JOStream::Add(const char* key, const QORUnicodeString& value) {
  Impl& self = Self();
  const Impl::Pending pending = self.BeginMember(key ? key : "");
  detail::AppendQuoted(self.text, value.View());
  self.EndMember(pending, 0);
}

void JOStream::Add(const char* key, const char* value) {
  Impl& self = Self();
  const Impl::Pending pending = self.BeginMember(key ? key : "");
  detail::AppendQuoted(self.text, value ? value : "");
  self.EndMember(pending, 0);
}

void JOStream::Add(const char* key, bool value) {
  Impl& self = Self();
  const Impl::Pending pending = self.BeginMember(key ? key : "");
  if (value) {
    self.text.Write("true", 4);
  } else {
    self.text.Write("false", 5);
  }
  self.EndMember(pending, 0);
}

void JOStream::Add(const char* key, const JOStream& value) {
  if (&value == this) {  // the text would be read while it grows
    JOStream copy(value);
    Add(key, std::move(copy));
    return;
  }
  Impl& self = Self();
  const Impl::Pending pending = self.BeginMember(key ? key : "");
  self.AppendCopy(value._pImpl.get());
  self.EndMember(pending, 0);
}

void JOStream::Add(const char* key, JOStream&& value) {
  if (&value == this) {
    JOStream copy(value);
    Add(key, std::move(copy));
    return;
  }
  Impl& self = Self();
  const Impl::Pending pending = self.BeginMember(key ? key : "");
  const uint64_t childBytes = self.AppendMoved(std::move(value._pImpl));
  self.EndMember(pending, childBytes);
}

void JOStream::Add(const char* key, const std::vector<QORUnicodeString>& values) {
  Impl& self = Self();
  const Impl::Pending pending = self.BeginMember(key ? key : "");
  self.text.Put('[');
  for (size_t i = 0; i < values.size(); ++i) {
    if (i > 0) self.text.Put(',');
    detail::AppendQuoted(self.text, values[i].View());
  }
  self.text.Put(']');
  self.EndMember(pending, 0);
}

void JOStream::Add(const char* key, const std::vector<JOStream>& values) {
  if (std::any_of(values.begin(), values.end(), [this](const JOStream& v) { return &v == this; })) {
    std::vector<JOStream> copy(values);
    Add(key, std::move(copy));
    return;
  }
  Impl& self = Self();
  const Impl::Pending pending = self.BeginMember(key ? key : "");
  self.text.Put('[');
  for (size_t i = 0; i < values.size(); ++i) {
    if (i > 0) self.text.Put(',');
    self.AppendCopy(values[i]._pImpl.get());
  }
  self.text.Put(']');
  self.EndMember(pending, 0);
}

// The streams are taken over and the vector is left empty.
void JOStream::Add(const char* key, std::vector<JOStream>&& values) {
  if (std::any_of(values.begin(), values.end(), [this](const JOStream& v) { return &v == this; })) {
    std::vector<JOStream> copy(values);
    Add(key, std::move(copy));
    return;
  }
  Impl& self = Self();
  const Impl::Pending pending = self.BeginMember(key ? key : "");
  // Room for the children sealed in, at once: a storey of thousands of leaves would
  // otherwise grow the text through a dozen reallocations.
  uint64_t sealed = 2;
  for (const JOStream& value : values)
    if (value._pImpl && value._pImpl->Sealable()) sealed += value._pImpl->CompactSize() + 1;
  self.text.Room(sealed);
  self.text.Put('[');
  uint64_t childBytes = 0;
  for (size_t i = 0; i < values.size(); ++i) {
    if (i > 0) self.text.Put(',');
    childBytes += self.AppendMoved(std::move(values[i]._pImpl));
  }
  self.text.Put(']');
  self.EndMember(pending, childBytes);
  std::vector<JOStream>().swap(values);
}

bool JOStream::AddRawString(const char* key, const QORUnicodeString& jsonText) {
  const std::string_view raw = jsonText.View();
  if (!IsOneJsonValue(raw)) {
    Add(key, jsonText);
    return false;
  }
  Impl& self = Self();
  const Impl::Pending pending = self.BeginMember(key ? key : "");
  // minify may store whole SIMD blocks: room for the text plus one block.
  self.text.Room(raw.size() + simdjson::SIMDJSON_PADDING);
  size_t length = 0;
  if (simdjson::minify(raw.data(), raw.size(), self.text.Tail(), length)) {
    self.text.Write(raw.data(), raw.size());  // not reached for valid text; still JSON
  } else {
    self.text.Commit(length);
  }
  self.EndMember(pending, 0);
  return true;
}

JOStream::ValueWriter::ValueWriter(void* pBuffer) : _pBuffer(pBuffer) {
  Refresh();
}

void JOStream::ValueWriter::Refresh() {
  auto& buffer = *static_cast<ByteBuffer*>(_pBuffer);
  _pPos = buffer.Tail();
  _pEnd = buffer.Tail() + (buffer.Capacity() - buffer.Size());
}

void JOStream::ValueWriter::Commit() {
  auto& buffer = *static_cast<ByteBuffer*>(_pBuffer);
  buffer.Commit(static_cast<size_t>(_pPos - buffer.Tail()));
}

void JOStream::ValueWriter::Grow(size_t extra) {
  Commit();
  auto& buffer = *static_cast<ByteBuffer*>(_pBuffer);
  buffer.Room(extra);
  Refresh();
}

void JOStream::ValueWriter::QuotedEscaped(std::string_view text) {
  Commit();
  auto& buffer = *static_cast<ByteBuffer*>(_pBuffer);
  detail::AppendQuoted(buffer, text);
  Refresh();
}

char* JOStream::ValueWriter::QuoteEscapedAt(char* out, std::string_view text) {
  detail::PointerSink sink{out};
  WriteQuoted(sink, text);
  return sink.out;
}

bool JOStream::AddWritten(const char* key, const std::function<bool(ValueWriter&)>& write) {
  Impl& self = Self();
  const Impl::Pending pending = self.BeginMember(key ? key : "");
  // A block this large is mapped on its own, so growing it further moves no bytes, and
  // pages never written cost nothing; grown from small, the text would be copied at every
  // doubling and each copy would touch fresh memory.
  self.text.Reserve(self.text.Size() + kWrittenReserve);
  AdviseHugePages(self.text);
  ValueWriter writer(&self.text);
  const bool written = write(writer);
  writer.Commit();
  if (!written) {
    // Nothing was recorded for the member: dropping its text undoes it.
    self.text.Clear();
    self.text.Commit(pending.offset);
    return false;
  }
  assert(
      IsOneJsonValue(std::string_view(self.text.Data() + pending.offset + pending.keyLength + 2,
                                      self.text.Size() - pending.offset - pending.keyLength - 2)));
  self.EndMember(pending, 0);
  return true;
}

bool JOStream::AdoptCompact(
    std::string&& text, const std::vector<std::pair<std::string_view, std::string_view>>& members) {
  const size_t size = text.size();
  if (size < 2 || text.front() != '{' || text.back() != '}') return false;
  const auto offsetOf = [&text](std::string_view view) {
    return static_cast<size_t>(reinterpret_cast<uintptr_t>(view.data()) -
                               reinterpret_cast<uintptr_t>(text.data()));
  };
  std::vector<Member> laid;
  laid.reserve(members.size());
  std::vector<std::string_view> keys;
  keys.reserve(members.size());
  size_t at = 0;  // the '{' or ',' before the next member
  for (const auto& [key, value] : members) {
    const size_t keyAt = offsetOf(key);
    const size_t valueAt = keyAt + key.size() + 2;
    if (keyAt != at + 2 || text[at + 1] != '"' || valueAt >= size ||
        text[keyAt + key.size()] != '"' || text[valueAt - 1] != ':' || offsetOf(value) != valueAt ||
        value.empty() || value.size() >= size - valueAt || key.find('\\') != std::string_view::npos)
      return false;
    const size_t end = valueAt + value.size();
    if (text[end] != ',' && text[end] != '}') return false;
    const std::string_view quoted(text.data() + keyAt - 1, key.size() + 2);
    const size_t hash = HashKey(quoted);
    laid.push_back(
        {at, end - at, static_cast<uint32_t>(quoted.size()), static_cast<uint32_t>(hash), 0, 0});
    keys.push_back(key);
    at = end;
  }
  if (at != (members.empty() ? 0 : size - 1) || (members.empty() && size != 2)) return false;
  std::sort(keys.begin(), keys.end());
  if (std::adjacent_find(keys.begin(), keys.end()) != keys.end()) return false;

  auto impl = std::make_unique<Impl>();
  // The first member starts at the '{', which is never written: an object's first member
  // is always written without its leading byte.
  impl->text.Adopt(std::move(text), size - 1);
  impl->liveBytes = size - 1;
  impl->members = std::move(laid);
  if (impl->members.size() > kIndexedFrom) {
    impl->index = std::make_unique<std::unordered_multimap<size_t, uint32_t>>();
    for (size_t i = 0; i < impl->members.size(); ++i)
      impl->index->emplace(HashKey(impl->KeyOf(impl->members[i])), static_cast<uint32_t>(i));
  }
  if (_pImpl) Impl::Recycle(std::move(_pImpl));
  _pImpl = std::move(impl);
  return true;
}

bool JOStream::Exist(const char* key) const {
  if (!_pImpl) return false;
  std::string quoted;
  detail::StringSink sink{quoted};
  WriteQuoted(sink, key ? key : "");
  return _pImpl->Find(quoted, HashKey(quoted)) >= 0;
}

int JOStream::Size() const {
  return _pImpl ? static_cast<int>(_pImpl->members.size()) : 0;
}

void JOStream::Clear() {
  if (_pImpl) Impl::Recycle(std::move(_pImpl));
}

QORUnicodeString JOStream::Stringify() const {
  if (!_pImpl || _pImpl->members.empty()) return QORUnicodeString("{}");
  std::string text;
  // The spare bytes let JIStream parse the text in place.
  text.reserve(_pImpl->CompactSize() + simdjson::SIMDJSON_PADDING);
  detail::StringSink sink{text};
  _pImpl->WriteTo(sink, 0, _pImpl->members.size(), true);
  return QORUnicodeString(std::move(text));
}

QORUnicodeString JOStream::PrettyStringify(bool) const {
  std::string text;
  detail::StringSink sink{text};
  detail::IndentingSink<detail::StringSink> indenting(sink);
  if (!_pImpl || _pImpl->members.empty()) {
    indenting.Write("{}", 2);
  } else {
    _pImpl->WriteTo(indenting, 0, _pImpl->members.size(), true);
  }
  return QORUnicodeString(std::move(text));
}

bool JOStream::WriteFile(const QORUnicodeString& path) const {
  return detail::WriteFileAtomically(QORNativePath(path.View()), [this](detail::FileSink& sink) {
    if (!_pImpl || _pImpl->members.empty()) {
      sink.Write("{}", 2);
    } else {
      _pImpl->WriteTo(sink, 0, _pImpl->members.size(), true);
    }
  });
}

bool JOStream::WritePrettyFile(const QORUnicodeString& path) const {
  return detail::WriteFileAtomically(QORNativePath(path.View()), [this](detail::FileSink& sink) {
    detail::IndentingSink<detail::FileSink> indenting(sink);
    if (!_pImpl || _pImpl->members.empty()) {
      indenting.Write("{}", 2);
    } else {
      _pImpl->WriteTo(indenting, 0, _pImpl->members.size(), true);
    }
  });
}

}  // namespace JSON
