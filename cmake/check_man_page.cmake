cmake_minimum_required(VERSION 3.25)

# The manual page keeps in step with the program: the options and arguments that "curvlog /?"
# explains are exactly the entries of the page's OPTIONS and ARGUMENTS sections; the options
# that "curvlog --help" explains are exactly the entries of its OPTIONS and MORE OPTIONS
# sections; and its title carries the version. Run by CTest:
#   cmake -D CURVLOG=<program> -D MAN_PAGE=<page> -D VERSION=<version> -P check_man_page.cmake

# "/E<color(s)>" (usage), "/E<list>" (help) and ".BI /E list" (page) are all "/E list";
# "--help, -h" (help) and ".BR \-\-help , \-h" (page) are "--help"; arguments stay as typed.
function(entry_key tag out)
  string(REPLACE "\\-" "-" tag "${tag}")
  string(LENGTH "${tag}" length)
  if(tag MATCHES "^/" AND length GREATER 2)
    string(SUBSTRING "${tag}" 0 2 tag)
    set(tag "${tag} list")
  elseif(tag MATCHES "^(--[^,]+),")
    set(tag "${CMAKE_MATCH_1}")
  endif()
  set(${out} "${tag}" PARENT_SCOPE)
endfunction()

# The lines of what the program prints with argument, as a list. A list element would keep
# everything between "[" and "]" together, line ends included.
function(program_lines argument out)
  execute_process(COMMAND ${CURVLOG} ${argument} OUTPUT_VARIABLE text RESULT_VARIABLE code)
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "${CURVLOG} ${argument} ended with ${code}")
  endif()
  string(REGEX REPLACE "[];[]" "_" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()

# The usage text: "/C: crop ...", "low:  ..."; not the headings "Usage: ..." and "Options (...):".
program_lines(/? usage_lines)
set(usage_entries "")
foreach(line IN LISTS usage_lines)
  if(NOT line MATCHES "^Usage" AND line MATCHES "^([^ :]+):")
    entry_key("${CMAKE_MATCH_1}" key)
    list(APPEND usage_entries "${key}")
  endif()
endforeach()
list(LENGTH usage_entries usage_count)
if(NOT usage_count EQUAL 11)
  message(FATAL_ERROR "the usage text's entries are no longer recognised: ${usage_entries}")
endif()

# The help: an option at the indent of two, alone on its line or followed by two blanks;
# other names follow a comma ("--help, -h"). Not a sentence such as "/Y, /X and /O do not".
program_lines(--help help_lines)
set(help_entries "")
foreach(line IN LISTS help_lines)
  if(line MATCHES "^  ((/|--)[^ ]*(, -[^ ]+)*)(  |$)")
    entry_key("${CMAKE_MATCH_1}" key)
    list(APPEND help_entries "${key}")
  endif()
endforeach()
list(LENGTH help_entries help_count)
if(NOT help_count EQUAL 13)
  message(FATAL_ERROR "the help's options are no longer recognised: ${help_entries}")
endif()

file(STRINGS ${MAN_PAGE} page_lines)
set(page_usage_entries "")
set(page_help_entries "")
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
    # ".B /C", ".BI /E list", ".I high", ".BR \-\-help , \-h": the words after the font
    # macro, joined, without quotes and font changes.
    string(REGEX MATCH "^[^ ]+ (.*)$" tag "${line}")
    string(REGEX REPLACE "[\" ]|\\\\f[BIR]" "" tag "${CMAKE_MATCH_1}")
    entry_key("${tag}" key)
    if(section MATCHES "^(OPTIONS|ARGUMENTS)$")
      list(APPEND page_usage_entries "${key}")
    endif()
    if(section MATCHES "^(OPTIONS|MORE OPTIONS)$")
      list(APPEND page_help_entries "${key}")
    endif()
  endif()
  set(tag_follows FALSE)
  if(line STREQUAL ".TP" AND section MATCHES "^(OPTIONS|MORE OPTIONS|ARGUMENTS)$")
    set(tag_follows TRUE)
  endif()
endforeach()

foreach(list usage_entries page_usage_entries help_entries page_help_entries)
  list(SORT ${list})
endforeach()
if(NOT usage_entries STREQUAL page_usage_entries)
  message(FATAL_ERROR "usage text: ${usage_entries}\n"
                      "manual page, OPTIONS and ARGUMENTS: ${page_usage_entries}")
endif()
if(NOT help_entries STREQUAL page_help_entries)
  message(FATAL_ERROR "help: ${help_entries}\nmanual page, OPTIONS and MORE OPTIONS: ${page_help_entries}")
endif()
message(STATUS "the manual page lists the ${usage_count} entries of the usage text and the "
               "${help_count} options of the help")
