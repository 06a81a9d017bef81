// A forward scanner over any buffer: reads its source in blocks of 4096
// bytes and moves forward by a count of bytes or to, beyond, until or until
// not a delimiter, collecting the bytes it passes into a keyword buffer, a
// record buffer and, for the fetch-into forms, a caller's memory buffer.
#pragma once

#include <cstdint>
#include <string>

#include "ZEB/BinaryStream.h"
#include "ZEB/BinaryStreamBuf.h"
#include "ZEB/SmartPtr.h"
#include "ZEBFile/MemoryBuffer.h"
#include "ZEBFile/ZEBFileExport.h"

namespace ZEBFile {

class StaticMemoryBuffer;

class ZEBFILE_API BinaryStreamParser : public ZEBMem::PoolObject {
public:
  static constexpr uint32_t BLOCK_SIZE = 4096;
  static constexpr uint32_t KEYWORD_SIZE = 4096;
  static constexpr uint32_t UNSAVED_SIZE = 128;
  static constexpr uint32_t RECORD_CHUNK_SIZE = 1024;

  // What a delimiter search stops at: the delimiter (a byte or a string of
  // bytes), the first byte outside the set, the first byte in the set.
  enum FetchMode { TO = 0, UNTIL_NOT = 1, UNTIL = 2 };

  // Both rewind the source's get position to 0. The source is not owned and
  // must outlive the parser. A StaticMemoryBuffer source is read in place
  // while NULs are kept: the parser's block is then the source's memory.
  BinaryStreamParser(ZEB::BinaryStreamBufT<unsigned>& source, bool caseSensitive);
  BinaryStreamParser(ZEB::BinaryStreamT<unsigned>& stream, bool caseSensitive);
  BinaryStreamParser(BinaryStreamParser const&) = delete;
  BinaryStreamParser& operator=(BinaryStreamParser const&) = delete;
  ~BinaryStreamParser();

  void SetCaseSensitive(bool on) noexcept { m_CaseSensitive = on; }
  bool IsCaseSensitive() const noexcept { return m_CaseSensitive; }
  // Removes NUL bytes from the blocks read from now on.
  void IgnoreNulls(bool on) noexcept { m_IgnoreNulls = on; }

  // Back to the start of the source; keyword and window emptied, record
  // buffer and settings kept.
  void Reset();
  // Moves to `position` in the data; the record buffer then holds the bytes
  // skipped after the last block start (when record fetching is on).
  void Seek(uint32_t position);
  // Passes `count` bytes; false when the data ends first (everything
  // available has then been passed).
  bool Fetch(uint32_t count, bool keyword, bool clearRecord);
  // The byte at the current position, 0 when the data has ended.
  unsigned char GetCurrentChar();
  uint32_t GetCurrentStreamOffset() const noexcept { return m_StreamOffset; }

  // Delimiter fetches: true when the delimiter was found before the end of
  // the data. The string forms with `out` assign the keyword to it on
  // success and leave it alone otherwise.
  bool FetchTo(unsigned char c, bool keyword);
  bool FetchTo(unsigned char c, std::string& out);
  bool FetchBeyond(std::string const& delimiter, bool keyword);
  bool FetchBeyond(std::string const& delimiter, std::string& out);
  bool FetchUntil(std::string const& set, bool keyword);
  bool FetchUntil(std::string const& set, std::string& out);
  bool FetchUntilNot(std::string const& set, bool keyword);
  bool FetchUntilNot(std::string const& set, std::string& out);

  // Fetches that append the bytes passed to `into` (a buffer is created at
  // the first byte written when the holder is empty). `skip` (NUL-terminated,
  // null for none) strips leading bytes of this call's output, `dropNulls`
  // leaves NULs out of it, `spaceForSkipped` writes one space in place of the
  // stripped bytes.
  bool FetchIntoTo(ZEB::RefCount<MemoryBuffer>& into, std::string const& delimiter, char const* skip,
                   bool dropNulls, bool spaceForSkipped);
  bool FetchIntoBeyond(ZEB::RefCount<MemoryBuffer>& into, std::string const& delimiter, char const* skip,
                       bool dropNulls, bool spaceForSkipped);
  bool FetchIntoUntil(ZEB::RefCount<MemoryBuffer>& into, std::string const& set, char const* skip,
                      bool dropNulls, bool spaceForSkipped);
  bool FetchIntoUntilNot(ZEB::RefCount<MemoryBuffer>& into, std::string const& set, char const* skip,
                         bool dropNulls, bool spaceForSkipped);

  // Length 0 takes the text up to its NUL; the length is capped at 4096.
  void SetKeywordBuffer(char const* text, uint32_t length);
  char const* GetKeywordBuffer() const noexcept { return reinterpret_cast<char const*>(m_Keyword); }
  uint32_t GetKeywordLen() const noexcept { return m_KeywordLen; }
  // The newest bytes (at most 128) passed since the keyword buffer overflowed.
  char const* GetUnsavedData() const noexcept { return reinterpret_cast<char const*>(m_Unsaved); }
  uint32_t GetUnsavedDataLen() const noexcept { return m_UnsavedLen; }

  // Turning record fetching off empties the record buffer.
  void SetRecordFetching(bool on);
  uint32_t GetRecordFetchingSize() const;
  // Copy `length` bytes (0: all) of the record buffer from `start` into
  // `out`; with no record buffer `out` is left alone.
  void GetRecordFetchingContent(MemoryBuffer& out, uint32_t start, uint32_t length);
  void GetRecordFetchingContent(std::string& out, uint32_t start, uint32_t length);
  void ClearFetchingBuffer();

private:
  // Where passed bytes go during one delimiter fetch.
  struct Delivery;

  bool ReadData();
  bool VerifyData();
  void ValidatePosition() const;
  uint32_t ReadAfter(uint32_t keep, uint32_t room);
  bool ExtendCandidate();
  void KeepCandidate(uint32_t keep);
  bool CanBorrow() const noexcept { return m_Fixed && !m_IgnoreNulls; }
  bool IsBorrowed() const noexcept { return CanBorrow() && m_Block != m_Storage; }

  void ClearKeywordBuffer() noexcept;
  unsigned char* KeywordSafeAppend(unsigned char* at, unsigned char const* data, uint32_t count);
  void FeedUnsaved(unsigned char const* data, uint32_t count) noexcept;
  void CopyBuffer(std::string& out) const;
  void StoreFetchedData(unsigned char const* data, uint32_t count);

  bool FetchData(char delimiter, bool keyword, FetchMode mode, ZEB::RefCount<MemoryBuffer>* into, char const* skip,
                 bool dropNulls, bool spaceForSkipped);
  bool FetchData(std::string const& delimiter, bool keyword, FetchMode mode, ZEB::RefCount<MemoryBuffer>* into,
                 char const* skip, bool dropNulls, bool spaceForSkipped);
  bool Scan(char const* delimiter, uint32_t length, FetchMode mode, Delivery& delivery);
  bool MatchCandidate(char const* delimiter, uint32_t length, Delivery& delivery, bool& matched);
  unsigned char* Find(unsigned char* from, char const* delimiter, uint32_t length, FetchMode mode,
                      uint32_t count) const;
  bool CanFindAhead() const;
  unsigned char* FindAhead(char const* delimiter, uint32_t length, FetchMode mode);
  void Pass(unsigned char* upTo, bool found, Delivery& delivery);
  void Deliver(unsigned char const* data, uint32_t count, bool found, Delivery& delivery);
  void DeliverInto(unsigned char const* data, uint32_t count, bool found, Delivery& delivery);
  bool SameBytes(unsigned char const* data, char const* delimiter, uint32_t count) const noexcept;

  unsigned char* MemChrFirstOf(unsigned char* from, char c, uint32_t count) const;
  unsigned char* MemChrFirstOf(unsigned char* from, char const* setBegin, char const* setEnd, uint32_t count) const;
  unsigned char* MemChrFirstNotOf(unsigned char* from, char c, uint32_t count) const;
  unsigned char* MemChrFirstNotOf(unsigned char* from, char const* setBegin, char const* setEnd,
                                  uint32_t count) const;
  void BuildSet(bool (&member)[256], char const* setBegin, char const* setEnd) const noexcept;

  unsigned char* BlockEnd() const noexcept { return m_Block + m_BlockLen; }

  ZEB::BinaryStreamBufT<unsigned>* m_Source;
  // The source when it is a fixed-memory buffer, else null.
  StaticMemoryBuffer* m_Fixed;
  ZEB::RefCount<MemoryBuffer> m_Record;
  unsigned char* m_Current = nullptr;
  // The block: the storage, or the source's own memory when read in place.
  // It never holds more than the capacity, which doubles once a delimiter
  // longer than the block has needed more room for its candidate.
  unsigned char* m_Block;
  uint32_t m_BlockCapacity = BLOCK_SIZE;
  uint32_t m_BlockLen = 0;
  // Where blocks read by copy go: the inline array, or a larger pool block.
  unsigned char* m_Storage;
  uint32_t m_StorageCapacity = BLOCK_SIZE;
  unsigned char m_InlineBlock[BLOCK_SIZE];
  unsigned char m_Keyword[KEYWORD_SIZE + 1];
  uint32_t m_KeywordLen = 0;
  unsigned char m_Unsaved[UNSAVED_SIZE + 1];
  uint32_t m_UnsavedLen = 0;
  bool m_CaseSensitive;
  uint32_t m_StreamOffset = 0;
  bool m_RecordFetching = false;
  bool m_IgnoreNulls = false;
};

} // namespace ZEBFile
