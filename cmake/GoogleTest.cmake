# Native builds use Debian's GoogleTest; the Windows build compiles it from Debian's sources.
if(CMAKE_CROSSCOMPILING)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
    find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# Where the public sample presentations live, if this machine has them.
set(DECKWRIGHT_CORPUS_DIR "${CMAKE_SOURCE_DIR}/../shared/corpus/ppt" CACHE PATH
    "Folder of real .ppt files used by the corpus tests (skipped when absent)")

function(deckwright_add_test target)
    if(CMAKE_CROSSCOMPILING)
        # Every Wine start costs a second or more: one process runs all of a program's cases.
        add_test(NAME ${target} COMMAND ${target} --gtest_brief=1)
        set_tests_properties(${target} PROPERTIES TIMEOUT 600
            ENVIRONMENT "DECKWRIGHT_CORPUS_DIR=${DECKWRIGHT_CORPUS_DIR}")
    else()
        gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60
            PROPERTIES ENVIRONMENT "DECKWRIGHT_CORPUS_DIR=${DECKWRIGHT_CORPUS_DIR}")
    endif()
endfunction()
