# What a Debian desktop package carries beyond the program, and the package itself (cpack -G DEB).
include(GNUInstallDirs)

# Manual page and changelog compressed as Debian wants them: gzip -9, no name or time inside.
set(doc_dir "${CMAKE_BINARY_DIR}/doc")
add_custom_command(OUTPUT "${doc_dir}/sarvoli3.1.gz" "${doc_dir}/changelog.Debian.gz"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${doc_dir}"
    COMMAND ${CMAKE_COMMAND} -DIN=${PROJECT_SOURCE_DIR}/data/sarvoli3.1 -DOUT=${doc_dir}/sarvoli3.1.gz
            -P ${PROJECT_SOURCE_DIR}/cmake/GzipFile.cmake
    COMMAND ${CMAKE_COMMAND} -DIN=${PROJECT_SOURCE_DIR}/data/changelog.Debian -DOUT=${doc_dir}/changelog.Debian.gz
            -P ${PROJECT_SOURCE_DIR}/cmake/GzipFile.cmake
    DEPENDS "${PROJECT_SOURCE_DIR}/data/sarvoli3.1" "${PROJECT_SOURCE_DIR}/data/changelog.Debian"
    VERBATIM
    COMMENT "Compressing the manual page and the changelog")
add_custom_target(sarvoli3_docs ALL DEPENDS "${doc_dir}/sarvoli3.1.gz" "${doc_dir}/changelog.Debian.gz")

install(FILES "${doc_dir}/sarvoli3.1.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
install(FILES "${PROJECT_SOURCE_DIR}/data/org.example.sarvoli3.metainfo.xml" DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
install(FILES "${PROJECT_SOURCE_DIR}/data/copyright" "${doc_dir}/changelog.Debian.gz"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/sarvoli3")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sarvoli3)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "Sarvoli3 <sarvoli3@example.org>")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://example.org/sarvoli3")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Sarvoli3 <sarvoli3@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "incremental copies of a folder tree")
# The long description; CPack puts the summary above it and indents each line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Sarvoli3 copies every file of a folder tree whose copy in another folder is
missing or older, one log line a file, with a summary at the end. It
remembers its fields, its folder histories and when each source folder was
last copied. Its window is in Finnish.

A copy takes its name only when it is complete and is on the disk before the
summary appears, so a copy that was cut off is copied again by the next run.
The same copy runs unattended, from cron for example, with sarvoli3 --run.")
include(CPack)
