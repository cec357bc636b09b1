#include "console.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support.h"

using sample::Bytes;

TEST(HoldWindowTest, WaitsForOneLineOrTheEnd) {
  TempDir tmp;
  std::string keys = tmp / "keys", printed = tmp / "printed";  // "con" is a device on Windows
  for (const char* typed : {"any text\nnext line\n", ""}) {
    sample::WriteFile(keys, Bytes(typed, typed + std::strlen(typed)));
    FILE* k = std::fopen(keys.c_str(), "rb");
    FILE* c = std::fopen(printed.c_str(), "wb");
    ASSERT_TRUE(k && c);
    HoldWindow(c, k);
    std::string left;
    for (int ch; (ch = std::fgetc(k)) != EOF;) left += static_cast<char>(ch);
    std::fclose(k);
    std::fclose(c);
    EXPECT_EQ(left, *typed ? "next line\n" : "");
    Bytes shown = sample::ReadFile(printed);
    EXPECT_EQ(std::string(shown.begin(), shown.end()), "Press Enter to close this window.\n");
  }
}
