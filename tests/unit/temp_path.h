#pragma once

#include <gtest/gtest.h>

#include <random>
#include <string>

// A file name in the test directory that no other test process uses: the test programs run in
// parallel, and fixed names let one process overwrite another's input.
inline std::string unique_temp_path(const std::string& stem) {
  static const std::string process_token = std::to_string(std::random_device{}());
  static int serial = 0;
  return testing::TempDir() + stem + "_" + process_token + "_" + std::to_string(++serial);
}
