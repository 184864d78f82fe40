# The sources of each layer, listed by hand so that a new file is a change anyone reviewing sees; the
# core, the window and the fuzz build (fuzz/CMakeLists.txt) all take their files from here.
# Paths are relative to this folder; TARVEL_SOURCE_DIR is set below for those that include it from elsewhere.
set(TARVEL_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR})

set(TARVEL_BASE_SOURCES base/ByteText.cpp base/ErrorReport.cpp base/Errors.cpp base/Front.cpp base/OperatorLog.cpp
  base/Remark.cpp)
# What differs between the systems: one source per concern and system, the system's chosen here.
if(WIN32)
  set(TARVEL_PLATFORM_SYSTEM win)
else()
  set(TARVEL_PLATFORM_SYSTEM posix)
endif()
# The terminal sockets' readiness set: epoll on Linux, the event loop's own watch of each socket elsewhere.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(TARVEL_READY_SET_KIND linux)
else()
  set(TARVEL_READY_SET_KIND other)
endif()
set(TARVEL_PLATFORM_SOURCES platform/LocalAddresses.cpp platform/Sockets.cpp platform/ReadySet_${TARVEL_READY_SET_KIND}.cpp
  platform/Files_${TARVEL_PLATFORM_SYSTEM}.cpp platform/Process_${TARVEL_PLATFORM_SYSTEM}.cpp
  platform/Sockets_${TARVEL_PLATFORM_SYSTEM}.cpp platform/StopSignals_${TARVEL_PLATFORM_SYSTEM}.cpp)
set(TARVEL_CONFIG_SOURCES config/IniFile.cpp config/IniText.cpp config/Settings.cpp config/SettingsRemarks.cpp)
set(TARVEL_DATA_SOURCES data/CallDeadline.cpp data/ConnectionLimits.cpp data/Database.cpp data/DatabaseActivity.cpp data/DateTime.cpp
  data/FbQuery.cpp data/FbResult.cpp data/PosConnections.cpp data/SqliteFile.cpp data/TerminalRegistry.cpp)
set(TARVEL_LOOKUP_SOURCES lookup/Clock.cpp lookup/PosItemLookups.cpp lookup/PriceFormat.cpp)
set(TARVEL_TERMINAL_SOURCES terminal/Frames.cpp terminal/ScanCode.cpp terminal/ScanPipeline.cpp
  terminal/ServerSocket.cpp terminal/TerminalScreen.cpp)
set(TARVEL_STATUS_SOURCES status/NotFoundReport.cpp status/NotFoundWorkbook.cpp status/SafeText.cpp status/ScanStatistics.cpp
  status/StatisticsKeeper.cpp status/StatsFile.cpp status/StatusMetrics.cpp status/StatusPage.cpp
  status/StatusRequests.cpp status/StatusServer.cpp status/TimeText.cpp)
set(TARVEL_CONTROL_SOURCES control/CommandLine.cpp control/DatabaseHints.cpp control/HeadlessFront.cpp
  control/HealthCheck.cpp control/TarvelService.cpp)
# The operator window and the setup dialog; the program's entry (gui/main.cpp) is apart.
set(TARVEL_GUI_SOURCES gui/ButtonKeys.cpp gui/ElidedLabel.cpp gui/RegistryDataset.cpp gui/RegistryNavigator.cpp
  gui/RegistryPage.cpp gui/WrappedLabel.cpp gui/dlg_Questions.cpp gui/dlg_Setup.cpp gui/frm_Tarvel.cpp)

# The pure byte and text functions the fuzz targets try: no Qt event loop, no database, no sockets.
set(TARVEL_PURE_SOURCES base/ByteText.cpp base/Errors.cpp base/OperatorLog.cpp config/IniText.cpp
  data/DateTime.cpp data/FbResult.cpp lookup/PriceFormat.cpp terminal/Frames.cpp terminal/ScanCode.cpp)

# The core, layered from the bottom: base < platform < config, data (side by side) < lookup < terminal
# < status < control. No widgets in it.
set(TARVEL_CORE_SOURCES ${TARVEL_BASE_SOURCES} ${TARVEL_PLATFORM_SOURCES} ${TARVEL_CONFIG_SOURCES}
  ${TARVEL_DATA_SOURCES} ${TARVEL_LOOKUP_SOURCES} ${TARVEL_TERMINAL_SOURCES} ${TARVEL_STATUS_SOURCES}
  ${TARVEL_CONTROL_SOURCES})

# The same lists with their full paths, for targets defined outside src/.
foreach(list CORE GUI PURE)
  list(TRANSFORM TARVEL_${list}_SOURCES PREPEND ${TARVEL_SOURCE_DIR}/ OUTPUT_VARIABLE TARVEL_${list}_PATHS)
endforeach()
