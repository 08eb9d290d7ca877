# The console program's portable sources, for app/console/ (Linux) and app/win32/ (Windows);
# each build adds its system's *_posix or *_win32 pieces.
set(NORVANE_CONSOLE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/Console.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ConsoleReport.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DeviceLog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/JsonText.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ReportStream.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Sha256.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Station.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StationTable.cpp
)
