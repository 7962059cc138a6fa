// The Windows wildcard search and UTF-8 file names under the program's manifest.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/win32.h"
#include "win32_test_support.h"

namespace curvlog::platform::win32 {
namespace {

// Every name the search yields, in its order; the last error when it fails.
std::vector<std::string> all_matches(const std::string& mask, ErrorCode* error) {
  std::vector<std::string> names;
  WildcardSearch search;
  char name[kFoundNameCapacity];
  if (!search.first(mask.c_str(), name, error)) return names;
  names.push_back(name);
  WildcardSearch::Next next;
  while ((next = search.next(name, error)) == WildcardSearch::Next::kFound) names.push_back(name);
  if (next == WildcardSearch::Next::kFailed) names.push_back("<failed>");
  EXPECT_TRUE(search.close(error));
  std::sort(names.begin(), names.end());
  return names;
}

struct MaskCase {
  const char* mask;  // relative to the scratch directory
  std::vector<std::string> names;
  ErrorCode error;  // when nothing matches
};

TEST(Win32WildcardSearch, MatchesNamesWithoutRegardToCase) {
  ScratchDirectory scratch;
  ASSERT_TRUE(scratch.ok());
  ASSERT_TRUE(CreateDirectoryA((scratch / "data").c_str(), nullptr));
  for (const char* name : {"a.pcx", "B.PCX", "c.tga", "data\\run7.pcx"}) {
    ASSERT_TRUE(write_whole_file(scratch / name, "x"));
  }
  const MaskCase cases[] = {
      {"*.pcx", {"B.PCX", "a.pcx"}, 0},
      {"?.TGA", {"c.tga"}, 0},
      {"data\\*.pcx", {"run7.pcx"}, 0},
      {"data/*.pcx", {"run7.pcx"}, 0},
      // Every entry counts, the directory's own "." and ".." included.
      {"data\\*", {".", "..", "run7.pcx"}, 0},
      {"*.prn", {}, ERROR_FILE_NOT_FOUND},
      {"nowhere\\*.pcx", {}, ERROR_PATH_NOT_FOUND},
  };
  for (const MaskCase& c : cases) {
    SCOPED_TRACE(c.mask);
    ErrorCode error = 0;
    EXPECT_EQ(all_matches(scratch / c.mask, &error), c.names);
    if (c.names.empty()) {
      EXPECT_EQ(error, c.error);
    }
  }
}

TEST(Win32WildcardSearch, EndsOnceAndRefusesANextWithoutAStart) {
  ScratchDirectory scratch;
  ASSERT_TRUE(scratch.ok());
  ASSERT_TRUE(write_whole_file(scratch / "only.pcx", "x"));
  WildcardSearch search;
  char name[kFoundNameCapacity];
  ErrorCode error = 0;
  EXPECT_EQ(search.next(name, &error), WildcardSearch::Next::kFailed);
  ASSERT_TRUE(search.first((scratch / "*.pcx").c_str(), name, &error));
  EXPECT_STREQ(name, "only.pcx");
  EXPECT_EQ(search.next(name, &error), WildcardSearch::Next::kNoMoreFiles);
  EXPECT_TRUE(search.close(&error));
  EXPECT_TRUE(search.close(&error));  // the second close has nothing to end
}

TEST(Win32Manifest, AnsiCallsUseUtf8) {
  EXPECT_EQ(GetACP(), static_cast<UINT>(CP_UTF8));
}

TEST(Win32Manifest, NonAsciiNamesRoundTripAsUtf8) {
  ScratchDirectory scratch;
  ASSERT_TRUE(scratch.ok());
  const std::string name = "Kurve-\xC3\xA4\xE2\x82\xAC.pcx";  // "Kurve-ä€.pcx"
  {
    OutputFile output;
    ASSERT_TRUE(output.create_new((scratch / name).c_str(), nullptr));
  }
  EXPECT_TRUE(path_exists((scratch / name).c_str()));
  ErrorCode error = 0;
  EXPECT_EQ(all_matches(scratch / "*.pcx", &error), std::vector<std::string>{name});

  // The name on disk is the Unicode name, not the UTF-8 bytes taken for another code page.
  wchar_t wide_directory[MAX_PATH];
  ASSERT_GT(MultiByteToWideChar(CP_UTF8, 0, scratch.path().c_str(), -1, wide_directory, MAX_PATH),
            0);
  const std::wstring wide_path = std::wstring(wide_directory) + L"\\Kurve-\u00E4\u20AC.pcx";
  EXPECT_NE(GetFileAttributesW(wide_path.c_str()), INVALID_FILE_ATTRIBUTES);

  InputFile input;
  EXPECT_TRUE(input.open((scratch / name).c_str(), nullptr));
  input.close();
  EXPECT_TRUE(delete_file((scratch / name).c_str(), &error));
}

}  // namespace
}  // namespace curvlog::platform::win32
