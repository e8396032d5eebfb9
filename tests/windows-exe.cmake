# Checks a Windows build of the program: a console executable for the
# expected machine that imports nothing but the system's own kernel32 and
# msvcrt, so that it runs without any DLL beside it.
#   cmake -DOBJDUMP=... -DEXE=perfect.exe -DFORMAT=pei-i386 -P windows-exe.cmake
execute_process(COMMAND ${OBJDUMP} -f -p ${EXE}
  OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "${OBJDUMP} cannot read ${EXE}")
endif()

if(NOT dump MATCHES "file format ${FORMAT}\n")
  message(FATAL_ERROR "${EXE} is not of the format ${FORMAT}")
endif()
if(NOT dump MATCHES "\nSubsystem[ \t]+0+3[ \t]")
  message(FATAL_ERROR "${EXE} is not a console program")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
if(NOT imports)
  message(FATAL_ERROR "${EXE} shows no imports at all")
endif()
foreach(line IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${line}")
  string(TOLOWER "${dll}" dll)
  if(NOT dll MATCHES "^(kernel32|msvcrt)\\.dll$")
    message(FATAL_ERROR "${EXE} needs ${dll}, which Windows does not bring")
  endif()
  message(STATUS "imports ${dll}")
endforeach()
message(STATUS "${EXE}: ${FORMAT} console program")
