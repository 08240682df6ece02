# Fails when a source includes a file of a higher layer, naming the file and line.
#   cmake -DROOT=<source folder> -P check_layers.cmake
#
# Every #include "..." names a path from the source folder. By the including file:
#   core/, resources/    include core/ and resources/ only
#   platform/            core/, resources/ and platform/
#   Qt-free files        (lower-case names in a subsystem folder) core/, resources/ and the
#                        lower-case files of their own folder; another subsystem's is "sideways"
#   window units         (capitalised names in a subsystem folder) anything but cli/ and tests/
#   cli/                 anything but window units and tests/
# tests/ and bench/ may include anything and are not scanned.
cmake_minimum_required(VERSION 3.25)

# Includes allowed against these rules, as "including file -> included file", each with its
# reason. An entry no longer used fails the check, so the table only ever shrinks.
set(allowed
)

set(subsystems workspace imageops stacking rgbcomp tracking)
list(JOIN subsystems "|" subsystem_names)

# The layer of a path from the source folder: base (core/, resources/), platform, cli, tests,
# bench, window, free:<subsystem>, or unknown.
function(layer_of path out)
  if(path MATCHES "^(core|resources)/")
    set(layer base)
  elseif(path MATCHES "^(platform|cli|tests|bench)/")
    set(layer ${CMAKE_MATCH_1})
  elseif(path MATCHES "^(${subsystem_names})/[a-z][^/]*$")
    set(layer free:${CMAKE_MATCH_1})
  elseif(path MATCHES "^(${subsystem_names})/[A-Z][^/]*$")
    set(layer window)
  else()
    set(layer unknown)
  endif()
  set(${out} ${layer} PARENT_SCOPE)
endfunction()

# Whether a file of layer `from` may include one of layer `to`; `rule` says what that layer
# may include.
function(may_include from to out rule)
  set(ok FALSE)
  if(from STREQUAL "base")
    set(text "core/ and resources/ include only core/ and resources/")
    if(to STREQUAL "base")
      set(ok TRUE)
    endif()
  elseif(from STREQUAL "platform")
    set(text "platform/ includes only core/, resources/ and platform/")
    if(to MATCHES "^(base|platform)$")
      set(ok TRUE)
    endif()
  elseif(from MATCHES "^free:(.*)")
    set(text "Qt-free files of ${CMAKE_MATCH_1}/ include only core/, resources/ and ${CMAKE_MATCH_1}/'s Qt-free files")
    if(to STREQUAL "base" OR to STREQUAL from)
      set(ok TRUE)
    elseif(to MATCHES "^free:")
      string(PREPEND text "sideways: ")
    endif()
  elseif(from STREQUAL "window")
    set(text "window units include neither cli/ nor tests/")
    if(NOT to MATCHES "^(cli|tests|unknown)$")
      set(ok TRUE)
    endif()
  elseif(from STREQUAL "cli")
    set(text "cli/ includes neither window units nor tests/")
    if(NOT to MATCHES "^(window|tests|unknown)$")
      set(ok TRUE)
    endif()
  endif()
  if(to STREQUAL "unknown")
    set(text "not a path from the source folder into a known folder")
  endif()
  set(${out} ${ok} PARENT_SCOPE)
  set(${rule} "${text}" PARENT_SCOPE)
endfunction()

set(sources "")
foreach(dir core resources platform cli ${subsystems})
  file(GLOB_RECURSE found RELATIVE "${ROOT}" "${ROOT}/${dir}/*.h" "${ROOT}/${dir}/*.hpp" "${ROOT}/${dir}/*.cpp")
  list(APPEND sources ${found})
endforeach()
list(SORT sources)

set(bad "")
set(used "")
set(include_line "\n[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\"")
foreach(source IN LISTS sources)
  layer_of("${source}" from)
  if(from STREQUAL "unknown")
    string(APPEND bad "\n  ${source}: a file outside the known folders")
    continue()
  endif()
  file(READ "${ROOT}/${source}" rest)
  # Each include line is found after a line break, so the text starts with one; line counts
  # the breaks passed.
  string(PREPEND rest "\n")
  set(line 0)
  while(rest MATCHES "${include_line}")
    set(match "${CMAKE_MATCH_0}")
    set(included "${CMAKE_MATCH_1}")
    string(FIND "${rest}" "${match}" at)
    string(SUBSTRING "${rest}" 0 ${at} before)
    string(REGEX REPLACE "[^\n]" "" breaks "${before}")
    string(LENGTH "${breaks}" passed)
    math(EXPR line "${line} + ${passed} + 1")
    string(LENGTH "${match}" length)
    math(EXPR after "${at} + ${length}")
    string(SUBSTRING "${rest}" ${after} -1 rest)

    layer_of("${included}" to)
    may_include(${from} ${to} ok rule)
    if(ok)
      continue()
    endif()
    set(entry "${source} -> ${included}")
    if(entry IN_LIST allowed)
      list(APPEND used "${entry}")
    else()
      string(APPEND bad "\n  ${source}:${line}: includes \"${included}\": ${rule}")
    endif()
  endwhile()
endforeach()

list(REMOVE_DUPLICATES used)
foreach(entry IN LISTS allowed)
  if(entry IN_LIST used)
    message(STATUS "allowed: ${entry}")
  else()
    string(APPEND bad "\n  allowed \"${entry}\" is no longer needed: take it out of check_layers.cmake")
  endif()
endforeach()
if(bad)
  message(FATAL_ERROR "Includes against the layers:${bad}")
endif()
list(LENGTH sources count)
list(LENGTH used exceptions)
message(STATUS "${count} sources keep to the layers (${exceptions} allowed exceptions)")
