# Deckwright.exe: the desktop program, its resources and its help file (Windows builds only).
enable_language(RC)

# The program's user interface as a library, so that the GUI tests link the same code.
file(GLOB DECKWRIGHT_UI_SOURCES CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/app/*.cpp ${PROJECT_SOURCE_DIR}/dialogs/*.cpp)
list(REMOVE_ITEM DECKWRIGHT_UI_SOURCES ${PROJECT_SOURCE_DIR}/app/win_main.cpp)
add_library(deckwright_ui STATIC ${DECKWRIGHT_UI_SOURCES})
target_include_directories(deckwright_ui PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(deckwright_ui PUBLIC deckwright_panel deckwright_version PRIVATE deckwright_warnings)

# Resources load from the executable's own module: every program that shows our windows
# (Deckwright.exe and the GUI tests) links this object library. The manifest carries the
# version, so it is made in the build's generated/ folder, where windres finds it beside
# version.h.
configure_file(${PROJECT_SOURCE_DIR}/res/deckwright.manifest.in
    ${PROJECT_BINARY_DIR}/generated/deckwright.manifest @ONLY)
file(GLOB DECKWRIGHT_RESOURCE_FILES CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/res/*.bmp ${PROJECT_SOURCE_DIR}/res/*.ico ${PROJECT_SOURCE_DIR}/res/*.h)
list(APPEND DECKWRIGHT_RESOURCE_FILES
    ${PROJECT_BINARY_DIR}/generated/deckwright.manifest ${PROJECT_BINARY_DIR}/generated/version.h)
add_library(deckwright_resources OBJECT ${PROJECT_SOURCE_DIR}/res/deckwright.rc)
target_include_directories(deckwright_resources PRIVATE
    ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/res ${PROJECT_BINARY_DIR}/generated)
set_source_files_properties(${PROJECT_SOURCE_DIR}/res/deckwright.rc PROPERTIES
    OBJECT_DEPENDS "${DECKWRIGHT_RESOURCE_FILES}")

add_executable(Deckwright WIN32 ${PROJECT_SOURCE_DIR}/app/win_main.cpp)
target_link_libraries(Deckwright PRIVATE deckwright_ui deckwright_resources deckwright_warnings)
target_link_options(Deckwright PRIVATE -municode)

# help.chm, built from help/ and placed beside the program.
file(GLOB DECKWRIGHT_HELP_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/help/*)
find_program(CHMCMD chmcmd)
find_program(PYTHON3 python3)
if(CHMCMD AND PYTHON3)
    set(_help_dir ${CMAKE_BINARY_DIR}/help-src)
    file(MAKE_DIRECTORY ${_help_dir})
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/help.chm
        COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/help ${_help_dir}
        COMMAND ${CHMCMD} --no-html-scan --verbosity 0 help.hhp > chmcmd.log
        # chmcmd stamps the time it ran into the file; the same pages must give the same file.
        COMMAND ${PYTHON3} ${PROJECT_SOURCE_DIR}/tools/chm_without_time.py help.chm
        COMMAND ${CMAKE_COMMAND} -E copy ${_help_dir}/help.chm ${CMAKE_BINARY_DIR}/help.chm
        WORKING_DIRECTORY ${_help_dir}
        DEPENDS ${DECKWRIGHT_HELP_FILES} ${PROJECT_SOURCE_DIR}/tools/chm_without_time.py
        COMMENT "Building help.chm")
    add_custom_target(deckwright_help ALL DEPENDS ${CMAKE_BINARY_DIR}/help.chm)
    add_dependencies(Deckwright deckwright_help)
else()
    message(WARNING "chmcmd (Debian package fp-utils) or python3 not found: help.chm is not built")
endif()
