# Read by cpack for each generator: the names Windows users look for.
if(CPACK_GENERATOR STREQUAL "ZIP")
    set(CPACK_PACKAGE_FILE_NAME "sarvoli3-${CPACK_PACKAGE_VERSION}-win64")
elseif(CPACK_GENERATOR STREQUAL "NSIS")
    set(CPACK_PACKAGE_FILE_NAME "sarvoli3-${CPACK_PACKAGE_VERSION}-setup")
endif()
