# Read by CPack once per generator (CPACK_PROJECT_CONFIG_FILE): the installer's name says what
# it is beside the portable .zip of the same programs.
if(CPACK_GENERATOR STREQUAL "NSIS")
    set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_FILE_NAME}-setup")
endif()
