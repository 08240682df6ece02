# Fails when a file of the Qt-free layer, the command line or the system layer includes a Qt
# header.
file(GLOB_RECURSE files "${ROOT}/core/*.h" "${ROOT}/core/*.cpp" "${ROOT}/cli/*.h" "${ROOT}/cli/*.cpp"
     "${ROOT}/platform/system/*.h" "${ROOT}/platform/system/*.cpp")
foreach(dir workspace imageops stacking rgbcomp tracking)
  file(GLOB found "${ROOT}/${dir}/[a-z]*.h" "${ROOT}/${dir}/[a-z]*.cpp")
  list(APPEND files ${found})
endforeach()
set(bad "")
foreach(f IN LISTS files)
  file(STRINGS "${f}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](Q[A-Za-z]|qt)")
  if(lines)
    list(APPEND bad "${f}: ${lines}")
  endif()
endforeach()
if(bad)
  message(FATAL_ERROR "Qt headers in the Qt-free layer:\n${bad}")
endif()
message(STATUS "core/, cli/ and platform/system/ are free of Qt headers")
