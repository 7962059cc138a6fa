cmake_minimum_required(VERSION 3.25)

# The manual page keeps in step with the program: the options and arguments that "curvlog /?"
# explains are exactly the entries of the page's OPTIONS and ARGUMENTS sections, and its title
# carries the version. Run by CTest:
#   cmake -D CURVLOG=<program> -D MAN_PAGE=<page> -D VERSION=<version> -P check_man_page.cmake

# "/E<color(s)>" (usage) and ".BI /E list" (page) are both "/E list"; arguments stay as typed.
function(entry_key tag out)
  string(LENGTH "${tag}" length)
  if(tag MATCHES "^/" AND length GREATER 2)
    string(SUBSTRING "${tag}" 0 2 tag)
    set(tag "${tag} list")
  endif()
  set(${out} "${tag}" PARENT_SCOPE)
endfunction()

execute_process(COMMAND ${CURVLOG} /? OUTPUT_VARIABLE usage RESULT_VARIABLE code)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "${CURVLOG} /? ended with ${code}")
endif()
# A list element would keep everything between "[" and "]" together, line ends included.
string(REGEX REPLACE "[];[]" "_" usage "${usage}")
string(REPLACE "\n" ";" usage_lines "${usage}")
set(usage_entries "")
foreach(line IN LISTS usage_lines)
  # "/C: crop ...", "low:  ..."; not the headings "Usage: ..." and "Options (...):".
  if(NOT line MATCHES "^Usage" AND line MATCHES "^([^ :]+):")
    entry_key("${CMAKE_MATCH_1}" key)
    list(APPEND usage_entries "${key}")
  endif()
endforeach()
list(LENGTH usage_entries count)
if(NOT count EQUAL 11)
  message(FATAL_ERROR "the usage text's entries are no longer recognised: ${usage_entries}")
endif()

file(STRINGS ${MAN_PAGE} page_lines)
set(page_entries "")
set(section "")
set(tag_follows FALSE)
foreach(line IN LISTS page_lines)
  if(line MATCHES "^\\.TH " AND NOT line MATCHES "\"CURVLOG ${VERSION}\"")
    message(FATAL_ERROR "the page's title does not name version ${VERSION}: ${line}")
  endif()
  if(line MATCHES "^\\.SH (.*)")
    set(section "${CMAKE_MATCH_1}")
  endif()
  if(tag_follows)
    # ".B /C", ".BI /E list", ".I high": the words after the font macro, joined.
    string(REGEX MATCH "^[^ ]+ (.*)$" tag "${line}")
    string(REPLACE " " "" tag "${CMAKE_MATCH_1}")
    entry_key("${tag}" key)
    list(APPEND page_entries "${key}")
  endif()
  set(tag_follows FALSE)
  if(line STREQUAL ".TP" AND section MATCHES "^(OPTIONS|ARGUMENTS)$")
    set(tag_follows TRUE)
  endif()
endforeach()

list(SORT usage_entries)
list(SORT page_entries)
if(NOT usage_entries STREQUAL page_entries)
  message(FATAL_ERROR "usage text: ${usage_entries}\nmanual page: ${page_entries}")
endif()
message(STATUS "the manual page lists ${count} entries, as the usage text does")
