# Readies the Wine prefix for the tests of a Windows build and leaves its
# server running until wine.stop ends it.
#   cmake -DWINE64=... -DWINESERVER=... -P wine-start.cmake
# Its output goes to files rather than pipes: the server and the helpers
# that wineboot leaves behind would hold a pipe open and stall the test.
execute_process(COMMAND ${WINE64} wineboot --init
  RESULT_VARIABLE rc OUTPUT_FILE /dev/null ERROR_FILE /dev/null)
if(rc)
  message(FATAL_ERROR "wineboot --init failed: ${rc}")
endif()
# Wait for the prefix to settle, then start a server that stays.
execute_process(COMMAND ${WINESERVER} -w)
execute_process(COMMAND ${WINESERVER} -p
  RESULT_VARIABLE rc OUTPUT_FILE /dev/null ERROR_FILE /dev/null)
if(rc)
  message(FATAL_ERROR "wineserver -p failed: ${rc}")
endif()
