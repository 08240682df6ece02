# Starts the program; it must neither crash nor end by itself before it is stopped.
# ARGS: the command-line arguments, if any.
execute_process(COMMAND "${PROGRAM}" ${ARGS} TIMEOUT 3 RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT result MATCHES "timeout")
  message(FATAL_ERROR "the program ended by itself (${result}):\n${out}\n${err}")
endif()
message(STATUS "the program started and ran its event loop")
