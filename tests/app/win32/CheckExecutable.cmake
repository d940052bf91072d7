# The shipped program is one self-contained executable: 64-bit, a window program (no console),
# importing nothing but the DLLs of Windows itself and nothing that Windows 7 SP1 lacks, and
# carrying its icon, version and manifest.
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

# It must load on Windows 7 SP1: nothing of a later Windows may be imported, or the loader
# refuses the program before it starts. These are the calls that a build for Windows 10 would
# take (per-monitor DPI, the newer file and thread calls); the program looks up the DPI ones at
# run time instead.
set(later_than_windows_7
    # USER32, Windows 10 1607 and later
    GetDpiForWindow GetDpiForSystem AdjustWindowRectExForDpi GetSystemMetricsForDpi
    SystemParametersInfoForDpi EnableNonClientDpiScaling GetThreadDpiAwarenessContext
    SetThreadDpiAwarenessContext GetAwarenessFromDpiAwarenessContext
    GetWindowDpiAwarenessContext AreDpiAwarenessContextsEqual SetProcessDpiAwarenessContext
    GetDpiForMonitor SetProcessDpiAwareness GetProcessDpiAwareness
    # KERNEL32, Windows 8 and later
    CreateFile2 GetSystemTimePreciseAsFileTime SetDefaultDllDirectories AddDllDirectory
    GetCurrentPackageFullName WaitOnAddress WakeByAddressSingle WakeByAddressAll
    InitializeSynchronizationBarrier PathCchCombine PathCchCombineEx
    # KERNEL32, Windows 10 and later
    SetThreadDescription GetThreadDescription CompareObjectHandles VirtualAlloc2 MapViewOfFile3
    GetTempPath2W)
string(REGEX MATCHALL "\n\t[0-9a-f]+\t +[0-9]+  [A-Za-z0-9_]+" functions "${headers}")
set(imported_functions "")
foreach(function IN LISTS functions)
    string(REGEX REPLACE ".*  " "" function "${function}")
    list(APPEND imported_functions ${function})
    if(function IN_LIST later_than_windows_7)
        string(APPEND problems "imports ${function}, which Windows 7 does not have\n")
    endif()
endforeach()
list(LENGTH imported_functions count)
if(count LESS 20)
    string(APPEND problems "the import table could not be read (${count} functions)\n")
endif()

# Resource types at the top of the resource tree: 3 icon, 14 icon group, 16 version, 24 manifest.
foreach(type 000003 00000e 000010 000018)
    if(NOT headers MATCHES "\n[0-9a-f]+   Entry: ID: 0x${type},")
        string(APPEND problems "no resource of type 0x${type}\n")
    endif()
endforeach()

# The manifest names every Windows it was made for, or Windows 8.1 and later would run it in the
# compatibility mode of an older one: 7, 8, 8.1, 10 and 11.
file(STRINGS ${EXE} manifest REGEX "supportedOS")
foreach(os 35138b9a-5d96-4fbd-8e2d-a2440225f93a 4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38
        1f676c76-80e1-4239-95bb-83d0f6d0da78 8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a)
    if(NOT manifest MATCHES "{${os}}")
        string(APPEND problems "the manifest does not name the system {${os}}\n")
    endif()
endforeach()

file(SIZE ${EXE} size)
list(JOIN names ", " imported)
message("${EXE}: ${size} bytes; imports ${count} functions of ${imported}")
if(problems)
    message(FATAL_ERROR "${problems}")
endif()
