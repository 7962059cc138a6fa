# GoogleTest built from source for the target by CurvlogWindows.cmake: its targets exist
# already, so finding the package only confirms them.
if(TARGET GTest::gtest AND TARGET GTest::gtest_main)
  set(GTest_FOUND TRUE)
else()
  set(GTest_FOUND FALSE)
  set(GTest_NOT_FOUND_MESSAGE "GoogleTest for the target was not added")
endif()
