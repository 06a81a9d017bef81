#include <gtest/gtest.h>

#include "ZEBFile/MemoryBuffer.h"

TEST(MemoryBuffer, ZeroChunkSizeMeansDefault) {
  ZEBFile::MemoryBuffer buffer(0);
  EXPECT_EQ(buffer.ChunkSize(), 1024u);
  EXPECT_EQ(buffer.Capacity(), 0u);
}
