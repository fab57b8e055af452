# What is installed, and how CPack packs it: on Windows builds an NSIS installer and a portable
# .zip of both programs, on Linux a Debian package and a .tar.gz of the command line.
# `cpack` in the build folder writes them to packages/; scripts/release.sh makes a release.
include(GNUInstallDirs)

# Dates inside packages (changelog, manual page, file times) come from SOURCE_DATE_EPOCH, or
# else from the last commit, so that the same commit packs the same way.
set(DECKWRIGHT_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
if(NOT DECKWRIGHT_SOURCE_DATE_EPOCH)
    execute_process(COMMAND git log -1 --format=%ct
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        OUTPUT_VARIABLE DECKWRIGHT_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
        ERROR_QUIET)
endif()
if(NOT DECKWRIGHT_SOURCE_DATE_EPOCH)
    set(DECKWRIGHT_SOURCE_DATE_EPOCH 0)
endif()

set(CPACK_PACKAGE_VENDOR "Velmora")
set(CPACK_PACKAGE_CONTACT "Velmora <deckwright@velmora.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "repairs damaged PowerPoint presentations (.ppt)")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Deckwright")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE.txt)
set(CPACK_STRIP_FILES ON)
set(CPACK_DECKWRIGHT_SOURCE_DATE_EPOCH ${DECKWRIGHT_SOURCE_DATE_EPOCH})
# Every staged file gets the same time before packing: archives store file times.
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/fix-file-times.cmake)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/packaging/cpack-per-generator.cmake)
# Packing must not build anything: the build folder may hold tests that are not wanted here.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

if(WIN32)
    set(CPACK_GENERATOR NSIS ZIP)
    set(CPACK_PACKAGE_NAME "Deckwright")
    set(CPACK_PACKAGE_FILE_NAME "Deckwright-${PROJECT_VERSION}-win64")
    # Our own installer script: per-user, and it leaves the user's settings alone.
    set(CPACK_MODULE_PATH ${PROJECT_SOURCE_DIR}/packaging)
    set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/res/deckwright.ico)
    set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/res/deckwright.ico)

    install(TARGETS Deckwright RUNTIME DESTINATION .)
    if(TARGET deckwright_help)
        install(FILES ${PROJECT_BINARY_DIR}/help.chm DESTINATION .)
    endif()
    # Windows file names ignore letter case: deckwright.exe cannot lie beside Deckwright.exe.
    install(TARGETS deckwright RUNTIME DESTINATION bin)
    install(FILES ${PROJECT_SOURCE_DIR}/LICENSE.txt ${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES.txt
        DESTINATION .)
else()
    set(CPACK_GENERATOR DEB TGZ)
    set(CPACK_PACKAGE_NAME "deckwright")
    set(CPACK_PACKAGE_FILE_NAME "deckwright-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR}")
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
    set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    # CPack puts the summary above these lines.
    set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Deckwright gives back PowerPoint presentations in the binary .ppt
format that no longer open. It rebuilds a presentation's damaged
compound-file header, and its allocation tables where they are damaged,
from what the file's sectors show. The user's own files are only read:
repaired copies are saved apart.
This package holds the command line: deckwright repair, check and inspect.")

    set(_gen ${PROJECT_BINARY_DIR}/packaging)
    set(_doc ${CMAKE_INSTALL_DATAROOTDIR}/doc/deckwright)
    install(TARGETS deckwright RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/deckwright.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions RENAME deckwright)

    # Debian's place for the licence is the copyright file; it holds both notices.
    file(READ ${PROJECT_SOURCE_DIR}/LICENSE.txt _licence)
    file(READ ${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES.txt _notices)
    file(CONFIGURE OUTPUT ${_gen}/copyright CONTENT "${_licence}\n\n${_notices}" @ONLY)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
        ${PROJECT_SOURCE_DIR}/LICENSE.txt ${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES.txt
        ${PROJECT_SOURCE_DIR}/packaging/changelog.in)
    install(FILES ${_gen}/copyright DESTINATION ${_doc})

    # A native package's changelog, one entry for this version.
    set(_saved_epoch "$ENV{SOURCE_DATE_EPOCH}")
    set(ENV{SOURCE_DATE_EPOCH} ${DECKWRIGHT_SOURCE_DATE_EPOCH})
    string(TIMESTAMP DECKWRIGHT_RELEASE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
    set(ENV{SOURCE_DATE_EPOCH} "${_saved_epoch}")
    configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${_gen}/changelog @ONLY)

    # The manual page, made from --help and --version by help2man, with each command's --help
    # and the sections that --help has no room for.
    find_program(HELP2MAN help2man)
    set(_made ${_gen}/changelog.gz)
    add_custom_command(OUTPUT ${_gen}/changelog.gz
        COMMAND gzip -9nc ${_gen}/changelog > ${_gen}/changelog.gz
        DEPENDS ${_gen}/changelog
        COMMENT "Compressing the package's changelog")
    if(HELP2MAN)
        add_custom_command(OUTPUT ${_gen}/deckwright.1.gz
            COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${DECKWRIGHT_SOURCE_DATE_EPOCH}
                bash ${PROJECT_SOURCE_DIR}/packaging/make-manual.sh $<TARGET_FILE:deckwright>
                ${PROJECT_SOURCE_DIR}/packaging/deckwright.h2m ${_gen}/deckwright.1.gz
            DEPENDS deckwright ${PROJECT_SOURCE_DIR}/packaging/deckwright.h2m
                ${PROJECT_SOURCE_DIR}/packaging/make-manual.sh
            COMMENT "Writing the manual page deckwright.1")
        list(APPEND _made ${_gen}/deckwright.1.gz)
        install(FILES ${_gen}/deckwright.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    else()
        message(WARNING "help2man not found: the manual page deckwright.1 is not made")
    endif()
    add_custom_target(deckwright_package_files ALL DEPENDS ${_made})
    install(FILES ${_gen}/changelog.gz DESTINATION ${_doc})
endif()

include(CPack)
