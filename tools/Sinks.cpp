#include "Sinks.h"

#include <algorithm>
#include <stdexcept>

#include "ZEBFile/Exceptions.h"

namespace zebfile {

uint32_t WriteOnlyBuffer::vPut(void const* data, uint32_t count) {
  if (count > UINT32_MAX - m_Written) {
    count = UINT32_MAX - m_Written;
  }
  Write(data, count);
  m_Written += count;
  return count;
}

// The write position can only stay where it is.
uint32_t WriteOnlyBuffer::vSeekP(uint32_t offset, Origin origin, Direction direction) {
  bool here = offset == 0 || (origin == BEGIN && offset == m_Written);
  if (!here || direction == BACKWARD) {
    throw ZEBFile::SeekOutOfRangeException();
  }
  return m_Written;
}

uint32_t WriteOnlyBuffer::vSeekG(uint32_t offset, Origin, Direction) {
  if (offset != 0) {
    throw ZEBFile::SeekOutOfRangeException();
  }
  return 0;
}

void WriteOnlyBuffer::vClear() { throw std::logic_error("WriteOnlyBuffer::Clear: written bytes cannot be taken back"); }

void StreamSink::Write(void const* data, uint32_t count) {
  if (!m_Out.write(static_cast<char const*>(data), count)) {
    throw std::runtime_error("write error");
  }
}

void PieceSink::Write(void const* data, uint32_t count) {
  constexpr uint32_t PIECE = 65536;
  auto const* bytes = static_cast<unsigned char const*>(data);
  for (uint32_t done = 0; done < count; done += PIECE) {
    m_Next.PutAll(bytes + done, std::min(PIECE, count - done));
  }
}

ProgressLine::~ProgressLine() {
  if (m_Shown >= 0) {
    ClearProgressLine();
  }
}

void ProgressLine::ReportProgress(double fractionDone) {
  int percent = fractionDone >= 1.0 ? 100 : fractionDone <= 0.0 ? 0 : int(fractionDone * 100);
  if (percent != m_Shown) {
    m_Shown = percent;
    std::fprintf(stderr, "\rzebfile: %s: %3d%%", m_Label.c_str(), percent);
    std::fflush(stderr);
  }
}

void ClearProgressLine() {
  std::fprintf(stderr, "\r%79s\r", "");
  std::fflush(stderr);
}

} // namespace zebfile
