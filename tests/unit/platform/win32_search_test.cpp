// The Windows wildcard search, and UTF-8 names under the program's manifest.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "win32_test_support.h"

namespace curvlog::platform::win32 {
namespace {

// Every name the search yields, sorted; empty with *error when nothing matches.
std::vector<std::string> all_matches(const std::string& mask, ErrorCode* error) {
  std::vector<std::string> names;
  WildcardSearch search;
  char name[kFoundNameCapacity];
  if (!search.first(mask.c_str(), name, error)) return names;
  WildcardSearch::Next next = WildcardSearch::Next::kFound;
  for (; next == WildcardSearch::Next::kFound; next = search.next(name, error)) {
    names.push_back(name);
  }
  EXPECT_EQ(next, WildcardSearch::Next::kNoMoreFiles);
  EXPECT_TRUE(search.close(error));
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Win32WildcardSearch, MatchesNamesWithoutRegardToCase) {
  ScratchDirectory scratch;
  ASSERT_TRUE(scratch.ok());
  ASSERT_TRUE(CreateDirectoryA((scratch / "data").c_str(), nullptr));
  for (const char* name : {"a.pcx", "B.PCX", "c.tga", "data\\run7.pcx"}) {
    ASSERT_TRUE(write_file(scratch / name, "x"));
  }
  struct Case {
    const char* mask;
    std::vector<std::string> names;
    ErrorCode error;  // when nothing matches
  };
  const Case cases[] = {
      {"*.pcx", {"B.PCX", "a.pcx"}, 0},        {"?.TGA", {"c.tga"}, 0},
      {"data\\*", {".", "..", "run7.pcx"}, 0},  // every entry counts
      {"*.prn", {}, ERROR_FILE_NOT_FOUND},     {"nowhere\\*.pcx", {}, ERROR_PATH_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mask);
    ErrorCode error = 0;
    EXPECT_EQ(all_matches(scratch / c.mask, &error), c.names);
    if (c.names.empty()) {
      EXPECT_EQ(error, c.error);
    }
  }
}

TEST(Win32Manifest, NamesBeyondAsciiAreUtf8) {
  ASSERT_EQ(GetACP(), static_cast<UINT>(CP_UTF8));
  ScratchDirectory scratch;
  ASSERT_TRUE(scratch.ok());
  const std::string name = "Kurve-\xC3\xA4\xE2\x82\xAC.prn";  // "Kurve-ä€.prn"
  {
    OutputFile output;
    ASSERT_TRUE(output.create_new((scratch / name).c_str(), nullptr));
  }
  ErrorCode error = 0;
  EXPECT_EQ(all_matches(scratch / "*.prn", &error), std::vector<std::string>{name});
  // On disk it is the Unicode name, not the UTF-8 bytes taken for another code page.
  wchar_t directory[MAX_PATH];
  ASSERT_GT(MultiByteToWideChar(CP_UTF8, 0, scratch.path().c_str(), -1, directory, MAX_PATH), 0);
  const std::wstring wide = std::wstring(directory) + L"\\Kurve-\u00E4\u20AC.prn";
  EXPECT_NE(GetFileAttributesW(wide.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(delete_file((scratch / name).c_str(), &error));
}

}  // namespace
}  // namespace curvlog::platform::win32
