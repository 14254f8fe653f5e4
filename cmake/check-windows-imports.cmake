# cmake -DOBJDUMP=... -DPROGRAM=... -P check-windows-imports.cmake
# Fails when a Windows program imports a DLL that is not part of Windows itself, such as the
# MinGW runtimes (libstdc++-6.dll, libgcc_s_seh-1.dll, libwinpthread-1.dll): the programs are
# shipped as single files and must run with nothing beside them.
cmake_minimum_required(VERSION 3.25)
set(system_dlls kernel32.dll msvcrt.dll user32.dll advapi32.dll shell32.dll ntdll.dll)
execute_process(COMMAND "${OBJDUMP}" -p "${PROGRAM}" OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot read the imports of ${PROGRAM}")
endif()
string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${dump}")
foreach(import IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${import}")
  string(TOLOWER "${dll}" dll)
  if(NOT dll IN_LIST system_dlls)
    message(FATAL_ERROR "${PROGRAM} imports ${dll}, which Windows does not ship")
  endif()
endforeach()
