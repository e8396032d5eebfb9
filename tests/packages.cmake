# Checks the two packages that the package-linux and package-windows
# workflows make, run from the source folder after both:
#   cmake -DOBJDUMP=i686-w64-mingw32-objdump -P tests/packages.cmake
# The .tar.gz must hold the program, which runs, and its manual page; the
# .zip the 32-bit console program, which needs no DLL beside it, and a
# read-me with Windows line ends.  Nothing else.
set(source ${CMAKE_CURRENT_LIST_DIR}/..)
set(scratch ${source}/build/package-check)
file(REMOVE_RECURSE ${scratch})

# Unpacks the one package that matches pattern into scratch/name and sets
# top to its top folder and files to what it holds, relative to that.
function(unpack pattern name)
  file(GLOB found ${source}/${pattern})
  list(LENGTH found n)
  if(NOT n EQUAL 1)
    message(FATAL_ERROR "expected one ${pattern}, found ${n}: ${found}")
  endif()
  file(ARCHIVE_EXTRACT INPUT ${found} DESTINATION ${scratch}/${name})
  file(GLOB dirs LIST_DIRECTORIES true ${scratch}/${name}/*)
  list(LENGTH dirs n)
  if(NOT n EQUAL 1)
    message(FATAL_ERROR "${found} does not hold one top folder: ${dirs}")
  endif()
  file(GLOB_RECURSE held RELATIVE ${dirs} ${dirs}/*)
  list(SORT held)
  message(STATUS "${found} holds ${held}")
  set(top ${dirs} PARENT_SCOPE)
  set(files "${held}" PARENT_SCOPE)
endfunction()

# The Linux package.
unpack("build/perfect-*-Linux.tar.gz" linux)
if(NOT files STREQUAL "bin/perfect;share/man/man1/perfect.1")
  message(FATAL_ERROR "the .tar.gz holds ${files}")
endif()
file(SHA256 ${top}/share/man/man1/perfect.1 packed)
file(SHA256 ${source}/doc/perfect.1 written)
if(NOT packed STREQUAL written)
  message(FATAL_ERROR "the .tar.gz holds another manual page")
endif()
file(WRITE ${scratch}/answers "3 6 12 28\n")
execute_process(COMMAND ${top}/bin/perfect INPUT_FILE ${scratch}/answers
  OUTPUT_VARIABLE out RESULT_VARIABLE rc)
set(want "\nVvedite chislo jelementov massiva ( 0 < K < 90 ): ")
string(APPEND want "\nVvedite massiv ( 0 < X[I] < 1000 ):\na[1]=a[2]=a[3]=")
string(APPEND want "\n-------------------------\n\n6\n28")
if(NOT rc EQUAL 0 OR NOT out STREQUAL want)
  message(FATAL_ERROR "the packed program wrote [${out}] and exited ${rc}")
endif()

# The Windows package.
unpack("build-win32/perfect-*-win32.zip" windows)
if(NOT files STREQUAL "README.txt;perfect.exe")
  message(FATAL_ERROR "the .zip holds ${files}")
endif()
# Read as bytes, since file(READ) drops CRs from text; every CR must be
# followed by LF and every LF follow a CR.
file(READ ${top}/README.txt hex HEX)
string(REGEX REPLACE "(..)" "\\1 " bytes "${hex}")
string(REPLACE "0d 0a " "" bare "${bytes}")
if(bare MATCHES "(^| )0[ad] " OR bare STREQUAL bytes)
  message(FATAL_ERROR "README.txt does not end its lines in CR LF only")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${OBJDUMP}
  -DEXE=${top}/perfect.exe -DFORMAT=pei-i386
  -P ${CMAKE_CURRENT_LIST_DIR}/windows-exe.cmake
  RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "the packed perfect.exe fails its check")
endif()
message(STATUS "both packages hold what they should")
