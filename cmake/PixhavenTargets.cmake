# One place for the flags every target of ours gets: language level, warnings, sanitizers.

set(PIXHAVEN_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wconversion
    -Wno-sign-conversion)
if(PIXHAVEN_WERROR)
    list(APPEND PIXHAVEN_WARNINGS -Werror)
endif()

if(PIXHAVEN_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

if(PIXHAVEN_TSAN)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()

if(PIXHAVEN_FUZZ)
    # Coverage for every library the fuzz targets link; only the fuzzers link the libFuzzer main.
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()

include(GoogleTest)

# Apply the project's compile options to a target of ours (not to third-party code).
function(pixhaven_defaults target)
    target_compile_features(${target} PUBLIC cxx_std_20)
    target_compile_options(${target} PRIVATE
        $<$<COMPILE_LANGUAGE:CXX>:${PIXHAVEN_WARNINGS}>
        $<$<COMPILE_LANGUAGE:C>:-Wall -Wextra -Wpedantic>)
endfunction()

# pixhaven_library(name [SHARED] SOURCES ... LIBS ...): a library of ours rooted at the repository.
function(pixhaven_library name)
    cmake_parse_arguments(ARG "SHARED" "" "SOURCES;LIBS;PUBLIC_LIBS" ${ARGN})
    if(ARG_SHARED)
        add_library(${name} SHARED ${ARG_SOURCES})
    else()
        add_library(${name} STATIC ${ARG_SOURCES})
    endif()
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_LIBS})
    pixhaven_defaults(${name})
endfunction()

# pixhaven_executable(name SOURCES ... LIBS ...): a program of ours rooted at the repository.
function(pixhaven_executable name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    pixhaven_defaults(${name})
endfunction()

# pixhaven_test_runs(test program macro): a test that runs `program` as a process finds it through
# the definition `macro`, and the program is built first.
function(pixhaven_test_runs test program macro)
    target_compile_definitions(${test} PRIVATE ${macro}="$<TARGET_FILE:${program}>")
    add_dependencies(${test} ${program})
endfunction()

# pixhaven_test(name SOURCES ... LIBS ...): a GoogleTest executable registered with CTest.
function(pixhaven_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    pixhaven_executable(${name} SOURCES ${ARG_SOURCES}
        LIBS ${ARG_LIBS} GTest::gtest GTest::gtest_main)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "PIXHAVEN_TEST_TMP=${CMAKE_BINARY_DIR}/test-tmp")
endfunction()

# pixhaven_fuzzer(name SOURCES ... LIBS ... CORPUS dir): a libFuzzer target; CTest replays its corpus.
function(pixhaven_fuzzer name)
    cmake_parse_arguments(ARG "" "CORPUS" "SOURCES;LIBS" ${ARGN})
    pixhaven_executable(${name} SOURCES ${ARG_SOURCES} LIBS ${ARG_LIBS})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    if(ARG_CORPUS)
        add_test(NAME ${name}_corpus COMMAND ${name} -runs=0 ${ARG_CORPUS})
    endif()
endfunction()

# pixhaven_qt_test(name SOURCES ... LIBS ...): a QtTest executable run on the offscreen platform.
# Tests save screenshots into screenshots/ of the build folder.
function(pixhaven_qt_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    pixhaven_executable(${name} SOURCES ${ARG_SOURCES} LIBS ${ARG_LIBS} Qt6::Test Qt6::Widgets)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    add_dependencies(${name} pixhaven_skin)  # the tests load the rendered skin
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT
        "QT_QPA_PLATFORM=offscreen;PIXHAVEN_TEST_TMP=${CMAKE_BINARY_DIR}/test-tmp;PIXHAVEN_SCREENSHOT_DIR=${CMAKE_BINARY_DIR}/screenshots;PIXHAVEN_IMAGE_DIR=${PIXHAVEN_IMAGE_DIR}")
endfunction()
