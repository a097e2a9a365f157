# The Windows cross build with the program's window: Qt for Windows from SARVOLI_QT_PREFIX
# (made by scripts/qt-for-windows) is looked for beside the MinGW-w64 libraries.
include("${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake")
if(NOT SARVOLI_QT_PREFIX AND DEFINED ENV{SARVOLI_QT_PREFIX})
    set(SARVOLI_QT_PREFIX "$ENV{SARVOLI_QT_PREFIX}")
endif()
if(NOT SARVOLI_QT_PREFIX)
    message(FATAL_ERROR "SARVOLI_QT_PREFIX names no Qt for Windows: scripts/qt-for-windows prints one")
endif()
list(APPEND CMAKE_FIND_ROOT_PATH "${SARVOLI_QT_PREFIX}")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES SARVOLI_QT_PREFIX)
