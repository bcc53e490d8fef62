# Checks that a Windows executable imports only DLLs every Windows system
# has, so that it runs without any runtime DLL copied beside it.
# cmake -DOBJDUMP=<objdump> -DEXE=<program.exe> -P CheckImports.cmake
cmake_minimum_required(VERSION 3.25)
set(allowed
  advapi32.dll bcrypt.dll comctl32.dll comdlg32.dll crypt32.dll gdi32.dll gdiplus.dll imm32.dll
  iphlpapi.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll shell32.dll shlwapi.dll user32.dll
  uxtheme.dll version.dll winmm.dll wininet.dll ws2_32.dll)

execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${EXE} failed: ${status}")
endif()
string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
if(NOT lines)
  message(FATAL_ERROR "no imported DLLs found in ${EXE}; is it a Windows program?")
endif()
set(foreign "")
foreach(line IN LISTS lines)
  string(REPLACE "DLL Name: " "" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" name)
  if(NOT name IN_LIST allowed)
    list(APPEND foreign "${dll}")
  endif()
endforeach()
if(foreign)
  message(FATAL_ERROR "${EXE} needs DLLs that are not part of Windows: ${foreign}")
endif()
list(LENGTH lines count)
message(STATUS "${count} imported DLLs, all system DLLs")
