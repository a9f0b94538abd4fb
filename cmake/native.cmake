# Native build of the text routines alone, with sanitizers, for tests and fuzzing.
set(SANITIZE_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
add_compile_options(-Wall -Wextra ${SANITIZE_FLAGS})
add_link_options(${SANITIZE_FLAGS})

add_library(textcore STATIC ${TEXT_SOURCES})
target_include_directories(textcore PUBLIC ${CMAKE_SOURCE_DIR}/src)

# The log checker for vendors; --plan needs the Windows program.
add_executable(uninstall-check src/vendor/check_main.cpp src/vendor/plan_unavailable.cpp)
target_link_libraries(uninstall-check PRIVATE textcore)
add_test(NAME uninstall_check_demo COMMAND uninstall-check ${CMAKE_SOURCE_DIR}/demo)

find_package(GTest REQUIRED)
file(GLOB TEXT_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/text_*_test.cpp)
foreach(source ${TEXT_TESTS})
    get_filename_component(name ${source} NAME_WE)
    add_executable(native_${name} ${source})
    target_link_libraries(native_${name} PRIVATE textcore GTest::gtest_main)
    target_compile_definitions(native_${name} PRIVATE CASES_DIR="${CMAKE_SOURCE_DIR}/tests/vendor/")
    add_test(NAME native_${name} COMMAND native_${name})
endforeach()

# libFuzzer targets, when the compiler is clang.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    file(GLOB FUZZERS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/*.cpp)
    foreach(source ${FUZZERS})
        get_filename_component(name ${source} NAME_WE)
        add_executable(${name} ${source})
        target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
        target_link_options(${name} PRIVATE -fsanitize=fuzzer)
        target_link_libraries(${name} PRIVATE textcore)
        # A short fixed-seed run from nothing: it must build and survive, not explore.
        add_test(NAME ${name}_smoke COMMAND ${name} -runs=2000 -seed=1 -max_len=600)
    endforeach()
endif()
