# Run by CPack between staging and packing (CPACK_PRE_BUILD_SCRIPTS): every staged file and
# folder gets the time of SOURCE_DATE_EPOCH, so that archives of the same commit are the same.
find_program(_touch touch REQUIRED)
find_program(_find find REQUIRED)
execute_process(
    COMMAND ${_find} ${CPACK_TEMPORARY_INSTALL_DIRECTORY} -exec ${_touch} -h
        -d @${CPACK_DECKWRIGHT_SOURCE_DATE_EPOCH} {} +
    COMMAND_ERROR_IS_FATAL ANY)
