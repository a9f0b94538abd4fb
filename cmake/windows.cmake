# The uninstaller itself, its tests and the programs the tests drive.
enable_language(RC)

add_compile_options(-Wall -Wextra -Wno-unused-parameter -Wno-cast-function-type)
add_compile_definitions(WINVER=0x0500 _WIN32_WINNT=0x0500 _WIN32_IE=0x0500)
add_link_options(-static -static-libgcc -static-libstdc++)

set(WIN32_LIBS comctl32 ole32 gdi32 user32 advapi32 kernel32)

file(GLOB CORE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/*/*.cpp)
list(REMOVE_ITEM CORE_SOURCES ${CMAKE_SOURCE_DIR}/src/shell/winmain.cpp)
add_library(uninstcore STATIC ${CORE_SOURCES})
target_include_directories(uninstcore PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(uninstcore PUBLIC ${WIN32_LIBS})

set(RESOURCE_FILE ${CMAKE_SOURCE_DIR}/src/resources/uninstall.rc)

add_executable(uninstall WIN32 src/shell/winmain.cpp ${RESOURCE_FILE})
target_link_libraries(uninstall PRIVATE uninstcore)

# GoogleTest from the Debian source package, built with this toolchain.
set(GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

file(GLOB SUPPORT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/*.cpp)
add_library(testsupport STATIC ${SUPPORT_SOURCES})
target_include_directories(testsupport PUBLIC ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(testsupport PUBLIC uninstcore)

# Small programs the tests start: tests/tools/NAME.cpp becomes NAME.exe,
# tests/tools/NAME_module.cpp becomes the DLL NAME_module.dll. Programs may
# use the core library and the UI driver; modules stand alone.
file(GLOB TOOL_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/tools/*.cpp)
set(TOOL_TARGETS)
foreach(source ${TOOL_SOURCES})
    get_filename_component(name ${source} NAME_WE)
    if(name MATCHES "_module$")
        add_library(${name} SHARED ${source})
        set_target_properties(${name} PROPERTIES PREFIX "")
        target_link_libraries(${name} PRIVATE ${WIN32_LIBS})
        # Exports by their plain names: 32-bit stdcall ones would read Name@12.
        target_link_options(${name} PRIVATE -Wl,--kill-at)
    else()
        add_executable(${name} ${source})
        target_link_libraries(${name} PRIVATE testsupport)
    endif()
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/src)
    list(APPEND TOOL_TARGETS ${name})
endforeach()

# Every tests/*_test.cpp is one test program, run by ctest through Wine.
file(GLOB TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/*_test.cpp)
foreach(source ${TEST_SOURCES})
    get_filename_component(name ${source} NAME_WE)
    add_executable(${name} ${source} ${RESOURCE_FILE})
    target_link_libraries(${name} PRIVATE testsupport gtest_main)
    add_dependencies(${name} ${TOOL_TARGETS})
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT 300)
endforeach()
