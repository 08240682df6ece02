# Starts the program; it must neither crash nor end by itself before it is stopped.
# ARGS: the command-line arguments, if any. EMULATOR: what runs a cross-built program, its
# words separated by '|' (wine takes longer to start, so the program is given longer).
set(wait 3)
if(EMULATOR)
  string(REPLACE "|" ";" EMULATOR "${EMULATOR}")
  set(wait 10)
endif()
execute_process(COMMAND ${EMULATOR} "${PROGRAM}" ${ARGS} TIMEOUT ${wait} RESULT_VARIABLE result OUTPUT_VARIABLE out
                ERROR_VARIABLE err)
if(NOT result MATCHES "timeout")
  message(FATAL_ERROR "the program ended by itself (${result}):\n${out}\n${err}")
endif()
message(STATUS "the program started and ran its event loop")
