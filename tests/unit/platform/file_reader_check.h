// What the file reader does on every platform: reads at any offset, in any
// order, and refuses to read past the end, a folder or a missing file.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/platform.h"

// `file` holds "0123456789".
inline void CheckFileReader(const char* file, const char* folder, const char* missing) {
  uint32_t size = 0;
  PlatFileReader reader = PlatOpenFileReader(file, &size);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(size, 10u);
  char bytes[4] = {};
  EXPECT_TRUE(PlatReadFileAt(reader, 6, bytes, 4));
  EXPECT_EQ(std::string(bytes, 4), "6789");
  EXPECT_TRUE(PlatReadFileAt(reader, 1, bytes, 2));
  EXPECT_EQ(std::string(bytes, 2), "12");
  EXPECT_TRUE(PlatReadFileAt(reader, 10, bytes, 0));
  EXPECT_FALSE(PlatReadFileAt(reader, 8, bytes, 4));
  EXPECT_FALSE(PlatReadFileAt(reader, 11, bytes, 1));
  PlatCloseFileReader(reader);
  size = 77;
  EXPECT_EQ(PlatOpenFileReader(folder, &size), nullptr);
  EXPECT_EQ(PlatOpenFileReader(missing, &size), nullptr);
  EXPECT_EQ(size, 77u);
}
