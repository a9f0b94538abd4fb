# Native build of the text routines alone, with sanitizers, for tests and fuzzing.
set(SANITIZE_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
add_compile_options(-Wall -Wextra ${SANITIZE_FLAGS})
add_link_options(${SANITIZE_FLAGS})

add_library(textcore STATIC ${TEXT_SOURCES})
target_include_directories(textcore PUBLIC ${CMAKE_SOURCE_DIR}/src)

find_package(GTest REQUIRED)
file(GLOB TEXT_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/text_*_test.cpp)
foreach(source ${TEXT_TESTS})
    get_filename_component(name ${source} NAME_WE)
    add_executable(native_${name} ${source})
    target_link_libraries(native_${name} PRIVATE textcore GTest::gtest_main)
    add_test(NAME native_${name} COMMAND native_${name})
endforeach()

# libFuzzer targets, when the compiler is clang. The test runs each for a few seconds from its
# seed corpus; what it finds goes into a scratch corpus, never into the seeds.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    file(GLOB FUZZERS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/*.cpp)
    foreach(source ${FUZZERS})
        get_filename_component(name ${source} NAME_WE)
        add_executable(${name} ${source})
        target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
        target_link_options(${name} PRIVATE -fsanitize=fuzzer)
        target_link_libraries(${name} PRIVATE textcore)
        add_test(NAME ${name} COMMAND sh -c
            "rm -rf \"$2\" && mkdir -p \"$2\" && exec \"$1\" -max_total_time=2 -timeout=5 \
             -artifact_prefix=\"$2/\" \"$2\" \"$3\"" sh
            $<TARGET_FILE:${name}> ${CMAKE_BINARY_DIR}/fuzz-scratch/${name}
            ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${name})
    endforeach()
endif()
