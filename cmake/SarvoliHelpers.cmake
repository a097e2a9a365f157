# Warnings that our own code must build without.
function(sarvoli_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /utf-8)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    endif()
endfunction()

# sarvoli_add_library(name SOURCES ... [DEPENDS ...]): one static library per layer.
function(sarvoli_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
    target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
    sarvoli_warnings(${name})
endfunction()

# sarvoli_add_test(name [NO_GTEST_MAIN] SOURCES ... [DEPENDS ...]): a GoogleTest executable
# registered with CTest. GUI tests need no display: every test runs on Qt's offscreen platform.
# NO_GTEST_MAIN: the sources bring their own main(), as tests that need an application do.
function(sarvoli_add_test name)
    cmake_parse_arguments(ARG "NO_GTEST_MAIN" "" "SOURCES;DEPENDS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    if(ARG_NO_GTEST_MAIN)
        target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} GTest::gmock GTest::gtest)
    else()
        target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} GTest::gmock GTest::gtest_main)
    endif()
    sarvoli_warnings(${name})
    if(CMAKE_CROSSCOMPILING)
        # Under an emulator one start runs every test of the program: starting each apart
        # would cost a start of the emulator a test.
        add_test(NAME ${name} COMMAND ${name})
        set_tests_properties(${name} PROPERTIES TIMEOUT 900)
    else()
        # A test that hangs (a wait that never ends, a pool that spins) fails in minutes, not
        # at CTest's 25: the slowest takes seconds, ten times that under the sanitizers.
        gtest_discover_tests(${name}
            PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120
            DISCOVERY_TIMEOUT 60)
    endif()
endfunction()
