# Warnings that our own code must build without.
function(sarvoli_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /utf-8)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    endif()
endfunction()

# sarvoli_add_library(name SOURCES ... [PUBLIC ...] [PRIVATE ...]): one static library per layer,
# the layer's folder of src/. PUBLIC: what its headers include, passed on to what links it;
# PRIVATE: what only its sources use.
# Its headers are included as "layer/Header.h", by the layer itself and by the targets that link
# it, and by no other: each layer has an include folder of its own that holds only a link to its
# sources, so that a header of a layer not linked is not found.
function(sarvoli_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC;PRIVATE" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    get_filename_component(layer "${CMAKE_CURRENT_SOURCE_DIR}" NAME)
    set(root "${CMAKE_BINARY_DIR}/layers/${layer}")
    if(NOT EXISTS "${root}/${layer}")
        file(MAKE_DIRECTORY "${root}")
        file(CREATE_LINK "${CMAKE_CURRENT_SOURCE_DIR}" "${root}/${layer}" SYMBOLIC)
    endif()
    target_include_directories(${name} PUBLIC "${root}")
    target_link_libraries(${name} PUBLIC ${ARG_PUBLIC} PRIVATE ${ARG_PRIVATE})
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
