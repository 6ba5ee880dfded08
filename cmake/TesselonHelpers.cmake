# Small helpers shared by every folder's CMakeLists.txt.

# Adds a folder when it has a CMakeLists.txt (folders arrive one issue at a time).
function(tesselon_add_if_present folder)
    if(EXISTS "${CMAKE_SOURCE_DIR}/${folder}/CMakeLists.txt")
        add_subdirectory("${CMAKE_SOURCE_DIR}/${folder}")
    endif()
endfunction()

# Adds every child folder of `parent` that has a CMakeLists.txt, in name order.
function(tesselon_add_children parent)
    file(GLOB children LIST_DIRECTORIES true "${CMAKE_SOURCE_DIR}/${parent}/*")
    list(SORT children)
    foreach(child IN LISTS children)
        if(IS_DIRECTORY "${child}" AND EXISTS "${child}/CMakeLists.txt"
           AND NOT child STREQUAL "${CMAKE_SOURCE_DIR}/tests/support")
            add_subdirectory("${child}")
        endif()
    endforeach()
endfunction()

# Test environment: headless Qt, a private HOME and runtime directory, and a
# timeout so that a hung test fails fast.
set(TESSELON_TEST_HOME "${CMAKE_BINARY_DIR}/test-home")
set(TESSELON_TEST_RUNTIME "${CMAKE_BINARY_DIR}/test-runtime")
file(MAKE_DIRECTORY "${TESSELON_TEST_HOME}" "${TESSELON_TEST_RUNTIME}")
file(CHMOD "${TESSELON_TEST_RUNTIME}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
set(TESSELON_TEST_ENVIRONMENT
    "QT_QPA_PLATFORM=offscreen"
    "HOME=${TESSELON_TEST_HOME}"
    "XDG_RUNTIME_DIR=${TESSELON_TEST_RUNTIME}"
    "QTEST_FUNCTION_TIMEOUT=60000"
    "TESSELON_TEST_DATA=${CMAKE_SOURCE_DIR}/tests/data")

# tesselon_add_test(name SOURCES ... LIBRARIES ... [QT] [SERIAL] [FIXTURE fixture CASES filter])
# One GoogleTest executable; every test case becomes one CTest test.
# QT: link the main() that creates a QApplication before running the tests.
# SERIAL: no other test runs beside these (they listen to the shared sound output).
# FIXTURE, CASES: the cases that match the GoogleTest filter need the CTest
# fixture (CTest runs its set-up first); the others do not wait for it.
function(tesselon_add_test name)
    cmake_parse_arguments(ARG "QT;SERIAL" "FIXTURE;CASES" "SOURCES;LIBRARIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    if(ARG_QT)
        target_link_libraries(${name} PRIVATE tesselon_qt_test_main)
    else()
        target_link_libraries(${name} PRIVATE GTest::gtest_main)
    endif()
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gtest GTest::gmock)
    target_include_directories(${name} PRIVATE "${CMAKE_SOURCE_DIR}/tests")
    target_compile_definitions(${name} PRIVATE
        TESSELON_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data")
    set(properties ENVIRONMENT "${TESSELON_TEST_ENVIRONMENT}" TIMEOUT 300)
    if(ARG_SERIAL)
        list(APPEND properties RUN_SERIAL TRUE)
    endif()
    if(ARG_FIXTURE)
        gtest_discover_tests(${name}
            DISCOVERY_MODE PRE_TEST
            DISCOVERY_TIMEOUT 60
            TEST_FILTER "-${ARG_CASES}"
            PROPERTIES ${properties})
        gtest_discover_tests(${name}
            DISCOVERY_MODE PRE_TEST
            DISCOVERY_TIMEOUT 60
            TEST_FILTER "${ARG_CASES}"
            PROPERTIES ${properties} FIXTURES_REQUIRED ${ARG_FIXTURE})
    else()
        gtest_discover_tests(${name}
            DISCOVERY_MODE PRE_TEST
            DISCOVERY_TIMEOUT 60
            PROPERTIES ${properties})
    endif()
endfunction()

# The clip matrix (tests/data/clip-matrix.txt) is made at test time into the
# build tree by the set-up test ClipMatrixSetUp (tests/support), for every
# test program that plays it; their cases that do so ask for the fixture
# clip_matrix.
set(TESSELON_CLIP_MATRIX "${CMAKE_BINARY_DIR}/clip-matrix")
function(tesselon_use_clip_matrix target)
    target_compile_definitions(${target} PRIVATE
        TESSELON_CLIP_MATRIX="${TESSELON_CLIP_MATRIX}")
endfunction()
