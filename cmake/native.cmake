# Native build of the text routines alone, with sanitizers, for tests and
# fuzzing; without them (SANITIZE=OFF) for the Linux checker that ships.
option(SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" ON)
add_compile_options(-Wall -Wextra)
if(SANITIZE)
    set(SANITIZE_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_compile_options(${SANITIZE_FLAGS})
    add_link_options(${SANITIZE_FLAGS})
endif()

add_library(textcore STATIC ${TEXT_SOURCES})
target_include_directories(textcore PUBLIC ${CMAKE_SOURCE_DIR}/src)

# The log checker for vendors; --plan needs the Windows program.
add_executable(uninstall-check src/logtools/check_main.cpp src/logtools/plan_unavailable.cpp)
target_link_libraries(uninstall-check PRIVATE textcore)
add_test(NAME uninstall_check_demo COMMAND uninstall-check ${CMAKE_SOURCE_DIR}/demo)
# The corpus test (CMakeLists.txt) runs this build of it, sanitizers and all.
set(CHECKER $<TARGET_FILE:uninstall-check>)

find_package(GTest REQUIRED)
file(GLOB TEXT_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/text_*_test.cpp)
foreach(source ${TEXT_TESTS})
    get_filename_component(name ${source} NAME_WE)
    add_executable(native_${name} ${source})
    target_link_libraries(native_${name} PRIVATE textcore GTest::gtest_main)
    add_test(NAME native_${name} COMMAND native_${name})
endforeach()

# libFuzzer targets, when the compiler is clang: one per function of tests/fuzz/fuzz_text.cpp.
# The test runs each for two seconds from its seed corpus; what it finds goes to scratch.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    set(FUZZ_TARGETS LineReader LogEntries RegistryPath Expansions PendingList Messages)
    foreach(target ${FUZZ_TARGETS})
        set(name fuzz_${target})
        add_executable(${name} ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_text.cpp)
        target_compile_definitions(${name} PRIVATE FUZZ_TARGET=Fuzz${target})
        target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
        target_link_options(${name} PRIVATE -fsanitize=fuzzer)
        target_link_libraries(${name} PRIVATE textcore)
        set(scratch ${CMAKE_BINARY_DIR}/fuzz-scratch/${target})
        add_test(NAME ${name} COMMAND sh -c "rm -rf \"$1\" && mkdir -p \"$1\" && shift && exec \"$@\"" sh
            ${scratch} $<TARGET_FILE:${name}> -max_total_time=2 -timeout=5
            -artifact_prefix=${scratch}/ ${scratch} ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${target})
    endforeach()
endif()
