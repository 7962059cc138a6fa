#pragma once

// What the unit tests share: scratch files, an input opened as the program opens its own, a
// cancellation that cannot outlive its test, and what a stage prints.

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "base/cancel.h"
#include "base/input_file.h"

namespace curvlog::testing_support {

// A file name in the test directory that no other test process uses: the test programs run in
// parallel, and fixed names let one process overwrite another's input.
inline std::string unique_temp_path(const std::string& stem) {
  static const std::string process_token = std::to_string(std::random_device{}());
  static int serial = 0;
  return testing::TempDir() + stem + "_" + process_token + "_" + std::to_string(++serial);
}

// A scratch file holding the given bytes, open for reading; removed at the end.
struct TempInput {
  std::string path = unique_temp_path("curvlog_input");
  InputFile file;

  explicit TempInput(const std::string& bytes) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fclose(out);
    platform::ErrorCode error = 0;
    EXPECT_TRUE(file.open(path.c_str(), &error)) << path;
  }
  ~TempInput() {
    file.close();
    std::remove(path.c_str());
  }
};

// An interrupt for the life of the object: the cancel flag is set, and cleared
// again at the end, so that no test leaks it into the next.
struct Cancelled {
  Cancelled() { request_cancel(); }
  ~Cancelled() { internal::cancel_flag.store(0); }
};

// What a call prints on standard output.
template <typename Call>
std::string printed_by(Call&& call) {
  testing::internal::CaptureStdout();
  call();
  return testing::internal::GetCapturedStdout();
}

}  // namespace curvlog::testing_support
