# Test modules are DLLs that hostsim.exe loads into the simulated game process; CTest runs each
# one under Wine. A module given DISPLAY runs under a virtual X server (it uses a real device).
set(VANTOR_RUN ${CMAKE_SOURCE_DIR}/scripts/wine-run)

add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

function(add_test_module name)
  cmake_parse_arguments(M "DISPLAY" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_library(${name} SHARED ${M_SOURCES} ${CMAKE_SOURCE_DIR}/testing/ModuleMain.cpp
              ${CMAKE_SOURCE_DIR}/testing/QuietDebugOutput.cpp)
  set_target_properties(${name} PROPERTIES PREFIX "")
  target_link_libraries(${name} PRIVATE gmock gtest gamemodel ${M_LIBS})
  add_dependencies(${name} hostsim wineprefix)
  if(M_DISPLAY)
    add_dependencies(${name} realdevice-probe)
    set(cmd ${CMAKE_SOURCE_DIR}/scripts/display-run)
  else()
    set(cmd ${VANTOR_RUN})
  endif()
  add_test(NAME ${name} COMMAND ${cmd} ${CMAKE_BINARY_DIR}/hostsim.exe ${name}.dll
           WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
  if(NOT M_TIMEOUT)
    set(M_TIMEOUT 900)
  endif()
  # 77: no real device on this machine; the module is reported as skipped, with the reason.
  set_tests_properties(${name} PROPERTIES TIMEOUT ${M_TIMEOUT} SKIP_RETURN_CODE 77)
endfunction()
