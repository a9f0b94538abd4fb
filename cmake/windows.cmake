# The uninstaller itself, its tests and the programs the tests drive.
enable_language(RC)

add_compile_options(-Wall -Wextra -Wno-unused-parameter -Wno-cast-function-type)
add_compile_definitions(WINVER=0x0500 _WIN32_WINNT=0x0500 _WIN32_IE=0x0500)
add_link_options(-static -static-libgcc -static-libstdc++)

# Two builds of one commit give the same bytes: no link time in the header,
# no build directory in the code.
add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.>"
                    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}=build>")
add_link_options(-Wl,--no-insert-timestamp)
# The 32-bit header says Windows 4.0 (95, NT 4) outright, not by the linker's default.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    add_link_options(-Wl,--major-os-version,4,--minor-os-version,0
                     -Wl,--major-subsystem-version,4,--minor-subsystem-version,0)
    set(MANIFEST_ARCHITECTURE x86)
else()
    set(MANIFEST_ARCHITECTURE amd64)
endif()

# The version resource and the manifests take the project's version.
set(GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
set(MANIFEST_VERSION ${PROJECT_VERSION}.0)
configure_file(src/resources/uninstaller_version.h.in ${GENERATED_DIR}/uninstaller_version.h)
function(write_manifest program description level)
    set(MANIFEST_PROGRAM ${program})
    set(MANIFEST_DESCRIPTION ${description})
    set(MANIFEST_EXECUTION_LEVEL ${level})
    configure_file(src/resources/program.manifest.in ${GENERATED_DIR}/${program}.manifest @ONLY)
endfunction()
# It deletes under Program Files, HKLM and the system directory.
write_manifest(uninstall "Uninstaller" requireAdministrator)
# Only reads; without a manifest Windows would guess from "install" in its name.
write_manifest(uninstall-check "Uninstall log checker" asInvoker)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${GENERATED_DIR}")
# The resource compiler's dependencies are not scanned: named here.
set_source_files_properties(src/resources/uninstall.rc src/resources/check.rc PROPERTIES
    OBJECT_DEPENDS "${CMAKE_SOURCE_DIR}/src/resources/program_info.rc;${GENERATED_DIR}/uninstaller_version.h;${GENERATED_DIR}/uninstall.manifest;${GENERATED_DIR}/uninstall-check.manifest")

# Only DLLs the system always takes from its own directory (KnownDLLs) are
# imported; any other is loaded by full path (src/base/system_dll.h).
set(WIN32_LIBS ole32 gdi32 user32 advapi32 kernel32)

set(PROGRAM_ONLY_SOURCES src/shell/winmain.cpp src/older_windows/runtime_imports.cpp
    src/logtools/check_main.cpp src/logtools/plan_unavailable.cpp)
file(GLOB CORE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/*/*.cpp)
foreach(source ${PROGRAM_ONLY_SOURCES})
    list(REMOVE_ITEM CORE_SOURCES ${CMAKE_SOURCE_DIR}/${source})
endforeach()
add_library(uninstcore STATIC ${CORE_SOURCES})
target_include_directories(uninstcore PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(uninstcore PUBLIC ${WIN32_LIBS})

set(RESOURCE_FILE ${CMAKE_SOURCE_DIR}/src/resources/uninstall.rc)
# The checker as it ships, under Wine.
set(CHECKER ${CMAKE_BINARY_DIR}/bin/uninstall-check.exe)

# The program as it ships: the win32 thread model, whose runtime needs nothing
# that Windows 95/98 and NT 4 lack (the posix one pulls in winpthread), and
# stripped. The 32-bit program replaces the runtime's imports that those
# systems do not have.
if(SHIPPED_PROGRAM_ONLY)
    add_executable(uninstall WIN32 src/shell/winmain.cpp ${RESOURCE_FILE})
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        target_sources(uninstall PRIVATE src/older_windows/runtime_imports.cpp)
    endif()
    target_link_libraries(uninstall PRIVATE uninstcore)
    target_link_options(uninstall PRIVATE -s)
    # The vendors' log checker, a console program, held to the same imports.
    add_executable(uninstall-check src/logtools/check_main.cpp src/resources/check.rc)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        target_sources(uninstall-check PRIVATE src/older_windows/runtime_imports.cpp)
    endif()
    target_link_libraries(uninstall-check PRIVATE uninstcore)
    target_link_options(uninstall-check PRIVATE -s)
    return()
endif()

# The tests build with the posix thread model (GoogleTest needs std::mutex);
# the program they run is the shipped one, built beside them and copied in.
# Their copy of the core has the seams the tests inject faults through.
target_compile_definitions(uninstcore PUBLIC UNINSTALLER_TEST_SEAMS)
include(ExternalProject)
ExternalProject_Add(uninstall
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/shipped
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE} -DMINGW_THREADS=win32
               -DSHIPPED_PROGRAM_ONLY=ON -DCMAKE_BUILD_TYPE=Release
    INSTALL_COMMAND ${CMAKE_COMMAND} -E copy_if_different <BINARY_DIR>/bin/uninstall.exe
                    <BINARY_DIR>/bin/uninstall-check.exe ${CMAKE_BINARY_DIR}/bin
    BUILD_ALWAYS ON)

# GoogleTest from the Debian source package, built with this toolchain.
set(GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

file(GLOB SUPPORT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/*.cpp)
add_library(testsupport STATIC ${SUPPORT_SOURCES})
target_include_directories(testsupport PUBLIC ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(testsupport PUBLIC uninstcore comctl32)
# The tests and the scripts' driver run under Wine only, which has the later registry calls.
target_compile_options(testsupport PUBLIC -U_WIN32_WINNT -D_WIN32_WINNT=0x0600)

# Modules the tests load: tests/tools/NAME_module.cpp becomes NAME_module.dll.
# The test programs play their own helper programs by re-running themselves.
file(GLOB MODULE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/tools/*_module.cpp)
set(MODULE_TARGETS)
foreach(source ${MODULE_SOURCES})
    get_filename_component(name ${source} NAME_WE)
    add_library(${name} SHARED ${source})
    set_target_properties(${name} PROPERTIES PREFIX "")
    # Export stdcall functions by their plain names (not Name@12), as
    # GetProcAddress callers ask for them.
    target_link_options(${name} PRIVATE -Wl,--kill-at)
    target_link_libraries(${name} PRIVATE ${WIN32_LIBS})
    list(APPEND MODULE_TARGETS ${name})
endforeach()
# The self-registering module imports a DLL that lies beside it.
target_link_libraries(selfreg_module PRIVATE planted_module)

# A careful program of the tests' own: what Wine loads into any program that
# restricts its DLL search, which uninstall.exe is held to.
add_executable(restricted_program WIN32 tests/tools/restricted_program.cpp)
target_compile_options(restricted_program PRIVATE -U_WIN32_WINNT -D_WIN32_WINNT=0x0602)
target_link_libraries(restricted_program PRIVATE uninstcore)

# The scripts' driver: keeps the Wine desktop up, plays the demo's user with the
# tests' window driver, times the benchmark's runs and stands for the floor in it.
add_executable(driver tools/driver.cpp)
target_link_libraries(driver PRIVATE testsupport gdi32 user32 psapi)

# Every tests/*_test.cpp is one test program, run by ctest through Wine.
file(GLOB TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/*_test.cpp)
foreach(source ${TEST_SOURCES})
    get_filename_component(name ${source} NAME_WE)
    add_executable(${name} ${source} ${RESOURCE_FILE})
    target_link_libraries(${name} PRIVATE testsupport gtest_main)
    target_compile_definitions(${name} PRIVATE CASES_DIR="${CMAKE_SOURCE_DIR}/tests/logtools/")
    add_dependencies(${name} uninstall ${MODULE_TARGETS} restricted_program)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT 300)
endforeach()
