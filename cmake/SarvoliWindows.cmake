# The program for Windows (included from src/app): the executable's icon, manifest and version,
# its console twin, and what a Windows user gets: a zip to run from anywhere, and an installer.

# Under Wine at build time the icon tool draws without a display.
qt_import_plugins(sarvoli3_icons INCLUDE Qt6::QOffscreenIntegrationPlugin)
set(icon_file "${icon_dir}/sarvoli3.ico")
add_custom_command(OUTPUT "${icon_file}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${icon_dir}"
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
            ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:sarvoli3_icons> --ico "${icon_file}" ${icon_sizes}
    DEPENDS sarvoli3_icons
    WORKING_DIRECTORY "${CMAKE_BINARY_DIR}"
    COMMENT "Drawing the icon")
add_custom_target(sarvoli3_icon_files DEPENDS "${icon_file}")

# sarvoli_windows_resources(TARGET DESCRIPTION): the icon, the manifest and the version of one
# executable.
function(sarvoli_windows_resources target description)
    set(ICON_FILE "${icon_file}")
    set(MANIFEST_FILE "${CMAKE_CURRENT_SOURCE_DIR}/sarvoli3.manifest")
    set(FILE_DESCRIPTION "${description}")
    set(INTERNAL_NAME "${target}")
    get_target_property(suffix ${target} SUFFIX)
    if(NOT suffix)
        set(suffix ".exe")
    endif()
    get_target_property(output_name ${target} OUTPUT_NAME)
    if(NOT output_name)
        set(output_name ${target})
    endif()
    set(ORIGINAL_FILENAME "${output_name}${suffix}")
    set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}.rc")
    configure_file(sarvoli3.rc.in "${rc}" @ONLY)
    target_sources(${target} PRIVATE "${rc}")
    set_source_files_properties("${rc}" PROPERTIES OBJECT_DEPENDS "${icon_file};${MANIFEST_FILE}")
    add_dependencies(${target} sarvoli3_icon_files)
    if(MSVC)
        target_link_options(${target} PRIVATE /MANIFEST:NO)  # the manifest is in the resources
    endif()
endfunction()

sarvoli_windows_resources(sarvoli3 "Sarvoli3")

# sarvoli3.com: the shells find it before sarvoli3.exe, and it is a console program.
add_executable(sarvoli3_console ConsoleTwin.cpp)
target_link_libraries(sarvoli3_console PRIVATE sarvoli_run)
sarvoli_warnings(sarvoli3_console)
set_target_properties(sarvoli3_console PROPERTIES OUTPUT_NAME sarvoli3 SUFFIX ".com"
    RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}")
sarvoli_windows_resources(sarvoli3_console "Sarvoli3 (komentorivi)")

# The zip and the installer hold the same files, at the top of the program's folder.
install(TARGETS sarvoli3 sarvoli3_console RUNTIME DESTINATION .)
install(FILES "${PROJECT_SOURCE_DIR}/LICENSE" DESTINATION . RENAME LICENSE.txt)
install(FILES "${PROJECT_SOURCE_DIR}/data/README-windows.txt" DESTINATION . RENAME README.txt)

set(CPACK_GENERATOR "ZIP;NSIS")
set(CPACK_PACKAGE_NAME sarvoli3)
set(CPACK_PACKAGE_VENDOR "The Sarvoli3 developers")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Sarvoli3: incremental copies of a folder tree")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Sarvoli3")
set(CPACK_PACKAGE_EXECUTABLES "sarvoli3;Sarvoli3")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_STRIP_FILES ON)
# Each generator names its own file (the zip and the setup program); the zip opens into a
# folder of its own.
set(CPACK_PROJECT_CONFIG_FILE "${PROJECT_SOURCE_DIR}/cmake/SarvoliCPackNames.cmake")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_DISPLAY_NAME "Sarvoli3")
set(CPACK_NSIS_PACKAGE_NAME "Sarvoli3 ${PROJECT_VERSION}")
set(CPACK_NSIS_MUI_ICON "${icon_file}")
set(CPACK_NSIS_MUI_UNIICON "${icon_file}")
set(CPACK_NSIS_INSTALLED_ICON_NAME "sarvoli3.exe")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MODIFY_PATH OFF)
# The mark beside the program that tells it is installed, so that it keeps its settings in
# %LOCALAPPDATA%\Sarvoli3 wherever it was installed; the uninstaller takes the mark and what an
# earlier version kept beside the program, so that the folder goes whole. The user's settings
# under %LOCALAPPDATA% stay.
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "
  FileOpen $0 '$INSTDIR\\\\sarvoli3-installed.txt' w
  FileWrite $0 'Sarvoli3 is installed in this folder: it keeps its settings under LOCALAPPDATA.'
  FileClose $0")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "
  Delete '$INSTDIR\\\\sarvoli3-installed.txt'
  Delete '$INSTDIR\\\\settings.ini'
  Delete '$INSTDIR\\\\.sarvoli3-*'")
include(CPack)
