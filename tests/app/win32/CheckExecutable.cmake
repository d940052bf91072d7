# The shipped program is one self-contained executable: 64-bit, a window program (no console),
# importing nothing but the DLLs of Windows itself, and carrying its icon, version and manifest.
#   cmake -DEXE=Zelvoset.exe -DOBJDUMP=x86_64-w64-mingw32-objdump -P CheckExecutable.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE headers RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p ${EXE} failed")
endif()

set(problems "")
if(NOT headers MATCHES "file format pei-x86-64" OR NOT headers MATCHES "Magic[ \t]+020b")
    string(APPEND problems "not a PE32+ x86-64 image\n")
endif()
if(NOT headers MATCHES "Subsystem[ \t]+00000002")
    string(APPEND problems "not the GUI subsystem\n")
endif()

# Every Windows has these. msvcrt.dll is the C runtime mingw-w64 links by default: a DLL of the
# system, in System32 on every version, not one to ship beside the program.
set(system_dlls advapi32 comctl32 comdlg32 gdi32 kernel32 msvcrt ole32 oleaut32 shell32 shlwapi
    user32 uxtheme version)
string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${headers}")
set(names "")
foreach(import IN LISTS imports)
    string(REGEX REPLACE "DLL Name: ([^.]+)\\.dll" "\\1" name "${import}")
    string(TOLOWER "${name}" name)
    list(APPEND names ${name})
    if(NOT name IN_LIST system_dlls AND NOT name MATCHES "^api-ms-win-")
        string(APPEND problems "imports ${name}.dll, which is no DLL of Windows itself\n")
    endif()
endforeach()

# Resource types at the top of the resource tree: 3 icon, 14 icon group, 16 version, 24 manifest.
foreach(type 000003 00000e 000010 000018)
    if(NOT headers MATCHES "\n[0-9a-f]+   Entry: ID: 0x${type},")
        string(APPEND problems "no resource of type 0x${type}\n")
    endif()
endforeach()

file(SIZE ${EXE} size)
list(JOIN names ", " imported)
message("${EXE}: ${size} bytes; imports ${imported}")
if(problems)
    message(FATAL_ERROR "${problems}")
endif()
