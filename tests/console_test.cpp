#include "console.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support.h"

using sample::Bytes;

// Only a window that a double-click opened closes with the program; there a
// failure message waits for Enter, and nowhere else.
TEST(HoldWindowTest, OnlyAProgramAloneInItsConsoleWaits) {
  struct {
    unsigned processes;
    bool in, out, hold;
  } rows[] = {
      {1, true, true, true},     // double-clicked in Explorer
      {2, true, true, false},    // started from a terminal, which shares the console
      {1, false, true, false},   // input from a file or pipe
      {1, true, false, false},   // output to a file or pipe
      {0, false, false, false},  // no console at all
  };
  for (const auto& r : rows)
    EXPECT_EQ(MustHoldWindow(r.processes, r.in, r.out), r.hold)
        << r.processes << " " << r.in << " " << r.out;
}

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
