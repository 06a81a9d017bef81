#include "ZEBFile/BinaryStreamParser.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <typeinfo>

#include "ZEBFile/StaticMemoryBuffer.h"

namespace ZEBFile {

namespace {

bool IsAsciiLetter(unsigned char b) noexcept { return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z'); }

// The other-case form of an ASCII letter.
unsigned char OtherCase(unsigned char b) noexcept { return static_cast<unsigned char>(b ^ 0x20); }

unsigned char FoldCase(unsigned char b) noexcept { return (b >= 'A' && b <= 'Z') ? OtherCase(b) : b; }

unsigned char* FindByte(unsigned char* from, unsigned char b, uint32_t count) noexcept {
  return count ? static_cast<unsigned char*>(std::memchr(from, b, count)) : nullptr;
}

// Closes the gaps left by NUL bytes; gives the count left.
uint32_t RemoveNulls(unsigned char* data, uint32_t count) noexcept {
  return static_cast<uint32_t>(std::remove(data, data + count, 0) - data);
}

bool IsNotNul(unsigned char b) noexcept { return b != 0; }

// Only the class itself is read in place: a class derived from it may
// deliver other bytes than its memory holds.
StaticMemoryBuffer* FixedMemoryOf(ZEB::BinaryStreamBufT<unsigned>& source) noexcept {
  return typeid(source) == typeid(StaticMemoryBuffer) ? static_cast<StaticMemoryBuffer*>(&source) : nullptr;
}

} // namespace

struct BinaryStreamParser::Delivery {
  bool keyword;
  ZEB::RefCount<MemoryBuffer>* into;
  char const* skipBegin; // null: no skip set
  char const* skipEnd;
  bool dropNulls;
  bool spaceForSkipped;
  bool written = false;  // this call has put bytes into the output
  bool stripped = false; // leading bytes of this call's output were skipped
};

BinaryStreamParser::BinaryStreamParser(ZEB::BinaryStreamBufT<unsigned>& source, bool caseSensitive)
    : m_Source(&source), m_Fixed(FixedMemoryOf(source)), m_Block(m_InlineBlock), m_Storage(m_InlineBlock),
      m_CaseSensitive(caseSensitive) {
  Reset();
}

BinaryStreamParser::BinaryStreamParser(ZEB::BinaryStreamT<unsigned>& stream, bool caseSensitive)
    : BinaryStreamParser(stream.Buffer(), caseSensitive) {}

BinaryStreamParser::~BinaryStreamParser() {
  if (m_Storage != m_InlineBlock)
    ZEBMem::Free(m_Storage);
}

// --- Block reading ---------------------------------------------------------

// Reads up to `room` next bytes of the source into the storage after its
// first `keep` bytes, NULs removed when asked; reads again when a read left
// nothing. A source that delivers nothing counts as ended even if it does
// not say so.
uint32_t BinaryStreamParser::ReadAfter(uint32_t keep, uint32_t room) {
  for (;;) {
    if (m_Source->EndOfFile())
      return 0;
    uint32_t got = m_Source->Get(m_Storage + keep, room);
    if (got == 0)
      return 0;
    if (m_IgnoreNulls)
      got = RemoveNulls(m_Storage + keep, got);
    if (got != 0)
      return got;
  }
}

// A block read in place is the same bytes a copy would hold, without the
// copy; the source's get position moves past it all the same.
bool BinaryStreamParser::ReadData() {
  m_Current = nullptr;
  m_BlockLen = 0;
  if (CanBorrow()) {
    m_Block = const_cast<unsigned char*>(m_Fixed->GetInPlace(BLOCK_SIZE, m_BlockLen));
  } else {
    m_Block = m_Storage;
    m_BlockLen = ReadAfter(0, BLOCK_SIZE);
  }
  if (m_BlockLen != 0)
    m_Current = m_Block;
  return m_BlockLen != 0;
}

bool BinaryStreamParser::VerifyData() {
  ValidatePosition();
  if (m_Current && m_Current != BlockEnd())
    return true;
  return ReadData();
}

void BinaryStreamParser::ValidatePosition() const {
  assert(!m_Current || (m_Current >= m_Block && m_Current <= BlockEnd()));
}

// A delimiter candidate runs to the end of the block: keeps its bytes at the
// front of the block and reads more after them, so that a candidate that
// fails later is resolved as one within a block would be. Only a delimiter
// longer than the block can fill it with one candidate; the capacity then
// doubles so that a very long candidate is not moved over and over. In
// place, the bytes after the candidate are already there.
bool BinaryStreamParser::ExtendCandidate() {
  auto keep = static_cast<uint32_t>(BlockEnd() - m_Current);
  if (keep == m_BlockCapacity)
    m_BlockCapacity *= 2;
  uint32_t room = std::min(BLOCK_SIZE, m_BlockCapacity - keep);
  uint32_t got = 0;
  if (IsBorrowed()) {
    m_Fixed->GetInPlace(room, got);
    m_Block = m_Current;
  } else {
    KeepCandidate(keep);
    got = ReadAfter(keep, room);
  }
  m_BlockLen = keep + got;
  return got != 0;
}

// Moves the candidate to the front of the storage, grown to the capacity.
void BinaryStreamParser::KeepCandidate(uint32_t keep) {
  if (m_StorageCapacity < m_BlockCapacity) {
    auto* storage = static_cast<unsigned char*>(ZEBMem::AllocateOrThrow(m_BlockCapacity));
    std::memcpy(storage, m_Current, keep);
    if (m_Storage != m_InlineBlock)
      ZEBMem::Free(m_Storage);
    m_Storage = storage;
    m_StorageCapacity = m_BlockCapacity;
  } else {
    std::memmove(m_Storage, m_Current, keep);
  }
  m_Block = m_Current = m_Storage;
  m_BlockLen = keep;
}

// --- Positioning and byte-count fetch ----------------------------------------

void BinaryStreamParser::Reset() {
  m_Current = nullptr;
  m_BlockLen = 0;
  std::memset(m_Keyword, 0, sizeof m_Keyword);
  m_KeywordLen = 0;
  std::memset(m_Unsaved, 0, sizeof m_Unsaved);
  m_UnsavedLen = 0;
  m_Source->SeekG(0, ZEB::BinaryStreamBufT<unsigned>::BEGIN, ZEB::BinaryStreamBufT<unsigned>::FORWARD);
  m_StreamOffset = 0;
}

void BinaryStreamParser::Seek(uint32_t position) {
  using Buf = ZEB::BinaryStreamBufT<unsigned>;
  uint32_t rest = position;
  Reset();
  if ((m_Source->Capabilities() & Buf::RANDOM_ACCESS) == Buf::RANDOM_ACCESS) {
    // Read the block holding the position; a position on a block edge is
    // reached as the end of the block before it.
    uint32_t blockStart = position - position % BLOCK_SIZE;
    rest = position - blockStart;
    if (rest == 0 && position != 0) {
      blockStart -= BLOCK_SIZE;
      rest = BLOCK_SIZE;
    }
    m_Source->SeekG(blockStart, Buf::BEGIN, Buf::FORWARD);
    m_StreamOffset = blockStart;
  }
  // Fetch clears the record buffer only when there is data; a seek to the
  // end must not leave the bytes of an earlier record behind.
  ClearFetchingBuffer();
  Fetch(rest, false, true);
}

bool BinaryStreamParser::Fetch(uint32_t count, bool keyword, bool clearRecord) {
  if (!VerifyData())
    return false;
  if (keyword)
    ClearKeywordBuffer();
  if (clearRecord)
    ClearFetchingBuffer();
  for (;;) {
    uint32_t piece = std::min(count, static_cast<uint32_t>(BlockEnd() - m_Current));
    if (piece != 0) {
      if (keyword)
        KeywordSafeAppend(m_Keyword + m_KeywordLen, m_Current, piece);
      if (m_RecordFetching)
        StoreFetchedData(m_Current, piece);
      m_StreamOffset += piece;
      m_Current += piece;
      count -= piece;
    }
    if (count == 0)
      return true;
    if (!ReadData())
      return false;
  }
}

unsigned char BinaryStreamParser::GetCurrentChar() { return VerifyData() ? *m_Current : 0; }

// --- Keyword buffer ------------------------------------------------------------

void BinaryStreamParser::ClearKeywordBuffer() noexcept {
  m_KeywordLen = 0;
  m_Keyword[0] = 0;
}

unsigned char* BinaryStreamParser::KeywordSafeAppend(unsigned char* at, unsigned char const* data, uint32_t count) {
  uint32_t room = KEYWORD_SIZE - static_cast<uint32_t>(at - m_Keyword);
  uint32_t fits = std::min(count, room);
  if (fits != 0) {
    std::memcpy(at, data, fits);
    at += fits;
    m_KeywordLen += fits;
    *at = 0;
    if (m_UnsavedLen != 0) {
      m_UnsavedLen = 0;
      m_Unsaved[0] = 0;
    }
    if (fits == count)
      return at;
  }
  FeedUnsaved(data, count);
  return at;
}

// The window keeps the newest bytes of a piece that overflowed the keyword
// buffer, the whole piece counted, after the newest of those it held.
void BinaryStreamParser::FeedUnsaved(unsigned char const* data, uint32_t count) noexcept {
  uint32_t fresh = std::min(count, UNSAVED_SIZE);
  uint32_t kept = std::min(m_UnsavedLen, UNSAVED_SIZE - fresh);
  if (kept != m_UnsavedLen)
    std::memmove(m_Unsaved, m_Unsaved + m_UnsavedLen - kept, kept);
  std::memcpy(m_Unsaved + kept, data + count - fresh, fresh);
  m_UnsavedLen = kept + fresh;
  m_Unsaved[m_UnsavedLen] = 0;
}

void BinaryStreamParser::SetKeywordBuffer(char const* text, uint32_t length) {
  if (!text)
    text = "";
  if (length == 0)
    while (length < KEYWORD_SIZE && text[length] != 0)
      ++length;
  length = std::min(length, KEYWORD_SIZE);
  uint32_t copied = 0;
  for (; copied < length && text[copied] != 0; ++copied)
    m_Keyword[copied] = static_cast<unsigned char>(text[copied]);
  std::memset(m_Keyword + copied, 0, length - copied + 1);
  m_KeywordLen = length;
}

void BinaryStreamParser::CopyBuffer(std::string& out) const {
  out.assign(reinterpret_cast<char const*>(m_Keyword), m_KeywordLen);
}

// --- Record fetching -----------------------------------------------------------

void BinaryStreamParser::SetRecordFetching(bool on) {
  m_RecordFetching = on;
  if (!on)
    ClearFetchingBuffer();
}

uint32_t BinaryStreamParser::GetRecordFetchingSize() const { return m_Record ? m_Record->Size() : 0; }

void BinaryStreamParser::GetRecordFetchingContent(MemoryBuffer& out, uint32_t start, uint32_t length) {
  if (!m_Record)
    return;
  m_Record->SeekG(start, MemoryBuffer::BEGIN, MemoryBuffer::FORWARD);
  m_Record->Copy(static_cast<ZEB::BaseBinaryStreamBuf&>(out), length ? length : 0xFFFFFFFFu);
}

void BinaryStreamParser::GetRecordFetchingContent(std::string& out, uint32_t start, uint32_t length) {
  if (!m_Record)
    return;
  m_Record->SeekG(start, MemoryBuffer::BEGIN, MemoryBuffer::FORWARD);
  m_Record->Copy(out, length ? length : 0xFFFFFFFFu);
}

void BinaryStreamParser::ClearFetchingBuffer() {
  if (m_Record && m_Record->Size() > 0)
    m_Record->Clear();
}

void BinaryStreamParser::StoreFetchedData(unsigned char const* data, uint32_t count) {
  if (!m_Record)
    m_Record = ZEB::RefCount<MemoryBuffer>(new MemoryBuffer(RECORD_CHUNK_SIZE));
  m_Record->Put(data, count);
}

// --- Delimiter fetches -----------------------------------------------------------

bool BinaryStreamParser::FetchTo(unsigned char c, bool keyword) {
  return FetchData(static_cast<char>(c), keyword, TO, nullptr, nullptr, false, false);
}

bool BinaryStreamParser::FetchTo(unsigned char c, std::string& out) {
  if (!FetchData(static_cast<char>(c), true, TO, nullptr, nullptr, false, false))
    return false;
  CopyBuffer(out);
  return true;
}

bool BinaryStreamParser::FetchBeyond(std::string const& delimiter, bool keyword) {
  if (!FetchData(delimiter, keyword, TO, nullptr, nullptr, false, false))
    return false;
  Fetch(1, false, true);
  return true;
}

bool BinaryStreamParser::FetchBeyond(std::string const& delimiter, std::string& out) {
  if (!FetchBeyond(delimiter, true))
    return false;
  CopyBuffer(out);
  return true;
}

bool BinaryStreamParser::FetchUntil(std::string const& set, bool keyword) {
  return FetchData(set, keyword, UNTIL, nullptr, nullptr, false, false);
}

bool BinaryStreamParser::FetchUntil(std::string const& set, std::string& out) {
  if (!FetchData(set, true, UNTIL, nullptr, nullptr, false, false))
    return false;
  CopyBuffer(out);
  return true;
}

bool BinaryStreamParser::FetchUntilNot(std::string const& set, bool keyword) {
  return FetchData(set, keyword, UNTIL_NOT, nullptr, nullptr, false, false);
}

bool BinaryStreamParser::FetchUntilNot(std::string const& set, std::string& out) {
  if (!FetchData(set, true, UNTIL_NOT, nullptr, nullptr, false, false))
    return false;
  CopyBuffer(out);
  return true;
}

bool BinaryStreamParser::FetchIntoTo(ZEB::RefCount<MemoryBuffer>& into, std::string const& delimiter,
                                     char const* skip, bool dropNulls, bool spaceForSkipped) {
  return FetchData(delimiter, false, TO, &into, skip, dropNulls, spaceForSkipped);
}

bool BinaryStreamParser::FetchIntoBeyond(ZEB::RefCount<MemoryBuffer>& into, std::string const& delimiter,
                                         char const* skip, bool dropNulls, bool spaceForSkipped) {
  if (!FetchData(delimiter, false, TO, &into, skip, dropNulls, spaceForSkipped))
    return false;
  Fetch(1, false, true);
  return true;
}

bool BinaryStreamParser::FetchIntoUntil(ZEB::RefCount<MemoryBuffer>& into, std::string const& set,
                                        char const* skip, bool dropNulls, bool spaceForSkipped) {
  FetchMode mode = set.size() == 1 ? TO : UNTIL;
  return FetchData(set, false, mode, &into, skip, dropNulls, spaceForSkipped);
}

bool BinaryStreamParser::FetchIntoUntilNot(ZEB::RefCount<MemoryBuffer>& into, std::string const& set,
                                           char const* skip, bool dropNulls, bool spaceForSkipped) {
  return FetchData(set, false, UNTIL_NOT, &into, skip, dropNulls, spaceForSkipped);
}

bool BinaryStreamParser::FetchData(char delimiter, bool keyword, FetchMode mode, ZEB::RefCount<MemoryBuffer>* into,
                                   char const* skip, bool dropNulls, bool spaceForSkipped) {
  ClearKeywordBuffer();
  ClearFetchingBuffer();
  Delivery delivery{keyword, into, skip, skip ? skip + std::strlen(skip) : nullptr, dropNulls, spaceForSkipped};
  return Scan(&delimiter, 1, mode, delivery);
}

bool BinaryStreamParser::FetchData(std::string const& delimiter, bool keyword, FetchMode mode,
                                   ZEB::RefCount<MemoryBuffer>* into, char const* skip, bool dropNulls,
                                   bool spaceForSkipped) {
  // An empty delimiter string can never be found.
  if (mode == TO && delimiter.empty())
    return false;
  ClearKeywordBuffer();
  ClearFetchingBuffer();
  Delivery delivery{keyword, into, skip, skip ? skip + std::strlen(skip) : nullptr, dropNulls, spaceForSkipped};
  return Scan(delimiter.data(), static_cast<uint32_t>(delimiter.size()), mode, delivery);
}

bool BinaryStreamParser::Scan(char const* delimiter, uint32_t length, FetchMode mode, Delivery& delivery) {
  for (;;) {
    if (!VerifyData())
      return false;
    bool passive = !delivery.keyword && !delivery.into && !m_RecordFetching;
    unsigned char* hit = passive && CanFindAhead()
                             ? FindAhead(delimiter, length, mode)
                             : Find(m_Current, delimiter, length, mode, static_cast<uint32_t>(BlockEnd() - m_Current));
    Pass(hit ? hit : BlockEnd(), hit != nullptr, delivery);
    if (!hit)
      continue;
    if (mode != TO || length == 1)
      return true;
    bool matched = false;
    if (!MatchCandidate(delimiter, length, delivery, matched))
      return false;
    if (matched)
      return true;
  }
}

// The current byte starts a candidate for a delimiter of two bytes or more.
// Matched: the parser stands on the delimiter's last byte, the others passed
// without delivery. Failed: the candidate's first byte is passed as data and
// the search goes on from the next byte. Gives false when the data ends
// inside the candidate; its bytes are then passed as data.
bool BinaryStreamParser::MatchCandidate(char const* delimiter, uint32_t length, Delivery& delivery, bool& matched) {
  for (;;) {
    uint32_t compared = std::min(length, static_cast<uint32_t>(BlockEnd() - m_Current));
    if (!SameBytes(m_Current + 1, delimiter + 1, compared - 1)) {
      Pass(m_Current + 1, false, delivery);
      return true;
    }
    if (compared == length) {
      m_Current += length - 1;
      m_StreamOffset += length - 1;
      matched = true;
      return true;
    }
    if (!ExtendCandidate()) {
      Pass(BlockEnd(), false, delivery);
      return false;
    }
  }
}

unsigned char* BinaryStreamParser::Find(unsigned char* from, char const* delimiter, uint32_t length, FetchMode mode,
                                        uint32_t count) const {
  switch (mode) {
  case TO:
    return MemChrFirstOf(from, delimiter[0], count);
  case UNTIL_NOT:
    return MemChrFirstNotOf(from, delimiter, delimiter + length, count);
  case UNTIL:
  default:
    return MemChrFirstOf(from, delimiter, delimiter + length, count);
  }
}

// The block is the source's memory and ends at the source's get position:
// the source's bytes from the current position to its end lie in one piece.
bool BinaryStreamParser::CanFindAhead() const {
  return IsBorrowed() && BlockEnd() == m_Fixed->Data() + m_Fixed->TellG();
}

// The bytes passed go nowhere, so instead of block after block one search
// runs from the current position to the source's end. The parser then
// stands where reading block by block would have put it: in the block
// holding the hit (blocks follow each other every BLOCK_SIZE bytes from the
// get position), or at the end of the data, with the source's get position
// after that block and the bytes in between counted as passed.
unsigned char* BinaryStreamParser::FindAhead(char const* delimiter, uint32_t length, FetchMode mode) {
  using Buf = ZEB::BinaryStreamBufT<unsigned>;
  auto* data = const_cast<unsigned char*>(m_Fixed->Data());
  unsigned char* end = data + m_Fixed->Size();
  unsigned char* from = BlockEnd();
  unsigned char* hit = Find(m_Current, delimiter, length, mode, static_cast<uint32_t>(end - m_Current));
  if (hit && hit < from)
    return hit;
  unsigned char* start = hit ? from + (hit - from) / BLOCK_SIZE * BLOCK_SIZE : end;
  m_StreamOffset += static_cast<uint32_t>(start - m_Current);
  m_Block = m_Current = start;
  m_BlockLen = std::min(BLOCK_SIZE, static_cast<uint32_t>(end - start));
  m_Fixed->SeekG(static_cast<uint32_t>(BlockEnd() - data), Buf::BEGIN, Buf::FORWARD);
  return hit;
}

// Moves the current position to `upTo`, delivering the bytes passed.
void BinaryStreamParser::Pass(unsigned char* upTo, bool found, Delivery& delivery) {
  unsigned char* from = m_Current;
  auto count = static_cast<uint32_t>(upTo - from);
  m_Current = upTo;
  m_StreamOffset += count;
  if (count != 0)
    Deliver(from, count, found, delivery);
}

void BinaryStreamParser::Deliver(unsigned char const* data, uint32_t count, bool found, Delivery& delivery) {
  if (delivery.keyword)
    KeywordSafeAppend(m_Keyword + m_KeywordLen, data, count);
  if (m_RecordFetching)
    StoreFetchedData(data, count);
  if (delivery.into)
    DeliverInto(data, count, found, delivery);
}

// The block may be the source's own memory, so the bytes are never changed
// in place: NULs left out of the output are stepped over.
void BinaryStreamParser::DeliverInto(unsigned char const* data, uint32_t count, bool found, Delivery& delivery) {
  unsigned char const* first = data;
  unsigned char const* end = data + count;
  if (delivery.skipBegin && !delivery.written) {
    bool skipped[256];
    BuildSet(skipped, delivery.skipBegin, delivery.skipEnd);
    skipped[0] = skipped[0] || delivery.dropNulls;
    first = std::find_if(data, end, [&skipped](unsigned char b) { return !skipped[b]; });
    if (std::any_of(data, first, IsNotNul))
      delivery.stripped = true;
  }
  auto left = static_cast<uint32_t>(delivery.dropNulls ? std::count_if(first, end, IsNotNul) : end - first);
  if (left == 0)
    return;
  bool space = delivery.stripped && delivery.spaceForSkipped && !delivery.written;
  ZEB::RefCount<MemoryBuffer>& into = *delivery.into;
  if (!into) {
    uint32_t chunk = std::min(left + 1, BLOCK_SIZE);
    if (!found)
      chunk = std::max(chunk, 128u);
    into = ZEB::RefCount<MemoryBuffer>(new MemoryBuffer(chunk));
  }
  if (space)
    into->Put(" ", 1);
  if (!delivery.dropNulls) {
    into->Put(first, left);
  } else {
    // The block may be borrowed read-only memory: the kept bytes are gathered
    // here and put a block at a time, not one run between NULs at a time.
    unsigned char kept[BLOCK_SIZE];
    while (first != end) {
      unsigned char* to = std::copy_if(first, std::min(end, first + BLOCK_SIZE), kept, IsNotNul);
      first = std::min(end, first + BLOCK_SIZE);
      if (to != kept)
        into->Put(kept, static_cast<uint32_t>(to - kept));
    }
  }
  delivery.written = true;
}

bool BinaryStreamParser::SameBytes(unsigned char const* data, char const* delimiter, uint32_t count) const noexcept {
  if (m_CaseSensitive)
    return std::memcmp(data, delimiter, count) == 0;
  for (uint32_t i = 0; i < count; ++i)
    if (FoldCase(data[i]) != FoldCase(static_cast<unsigned char>(delimiter[i])))
      return false;
  return true;
}

// --- Matching helpers ----------------------------------------------------------------

unsigned char* BinaryStreamParser::MemChrFirstOf(unsigned char* from, char c, uint32_t count) const {
  auto b = static_cast<unsigned char>(c);
  if (m_CaseSensitive || !IsAsciiLetter(b))
    return FindByte(from, b, count);
  // Either case: the second search only needs to look before the first hit.
  // Block by block, so that over a long range a near hit of one case is not
  // found only after a search of the whole range for the other.
  for (unsigned char* end = from + count; from != end;) {
    auto piece = static_cast<uint32_t>(std::min<std::ptrdiff_t>(BLOCK_SIZE, end - from));
    unsigned char* first = FindByte(from, b, piece);
    unsigned char* other = FindByte(from, OtherCase(b), first ? static_cast<uint32_t>(first - from) : piece);
    if (other || first)
      return other ? other : first;
    from += piece;
  }
  return nullptr;
}

unsigned char* BinaryStreamParser::MemChrFirstNotOf(unsigned char* from, char c, uint32_t count) const {
  auto b = static_cast<unsigned char>(c);
  unsigned char* end = from + count;
  if (m_CaseSensitive || !IsAsciiLetter(b)) {
    for (; from != end; ++from)
      if (*from != b)
        return from;
    return nullptr;
  }
  unsigned char other = OtherCase(b);
  for (; from != end; ++from)
    if (*from != b && *from != other)
      return from;
  return nullptr;
}

void BinaryStreamParser::BuildSet(bool (&member)[256], char const* setBegin, char const* setEnd) const noexcept {
  std::fill(member, member + 256, false);
  for (char const* at = setBegin; at != setEnd; ++at) {
    auto b = static_cast<unsigned char>(*at);
    member[b] = true;
    if (!m_CaseSensitive && IsAsciiLetter(b))
      member[OtherCase(b)] = true;
  }
}

unsigned char* BinaryStreamParser::MemChrFirstOf(unsigned char* from, char const* setBegin, char const* setEnd,
                                                 uint32_t count) const {
  if (setBegin == setEnd)
    return nullptr;
  if (setEnd - setBegin == 1)
    return MemChrFirstOf(from, *setBegin, count);
  bool member[256];
  BuildSet(member, setBegin, setEnd);
  for (unsigned char* end = from + count; from != end; ++from)
    if (member[*from])
      return from;
  return nullptr;
}

unsigned char* BinaryStreamParser::MemChrFirstNotOf(unsigned char* from, char const* setBegin, char const* setEnd,
                                                    uint32_t count) const {
  if (setBegin == setEnd)
    return count ? from : nullptr;
  if (setEnd - setBegin == 1)
    return MemChrFirstNotOf(from, *setBegin, count);
  bool member[256];
  BuildSet(member, setBegin, setEnd);
  for (unsigned char* end = from + count; from != end; ++from)
    if (!member[*from])
      return from;
  return nullptr;
}

} // namespace ZEBFile
