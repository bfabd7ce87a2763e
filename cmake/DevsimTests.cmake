# Tests against simulated devices, written once, run natively and under Wine.
#
#   zarvik_add_devsim_test(<name> SCENARIO <file> SOURCES <src>... [LABELS ...] [TIMEOUT s] [COST s])
#
# The scenario file describes the devices (see tools/devsim/devsim.h: "ke",
# "printer", "twoport", "peer", "file", "on", "hold", "pacing"). The test
# sources reach them through tests/support/simdevices.h:
#
#   SimDevices &sim = SimDevices::Get();
#   ASSERT_TRUE(sim.Ok()) << sim.Error();
#   FastCom port;
#   port.Open(sim.Port("ke1").c_str(), 20);          // "com<n>" of line ke1
#   ...
#   EXPECT_EQ(sim.Received("ke1"), std::string("\x1bS", 2));
#
# Natively the test program links the simulator library and starts the
# scenario in-process (ZARVIK_DEV_ROOT is set for it). In the Windows build
# the test is run by scripts/wine-with-devsim: it starts the native devsim
# program of the native build tree ZARVIK_NATIVE_TOOLS_DIR with the scenario,
# links <WINEPREFIX>/dosdevices/com<n> to each pseudo-terminal, passes
# ZARVIK_SIM_COM_<NAME> and ZARVIK_SIM_REC_<NAME> (the recording file as a
# Z:\ path), runs the program under Wine and stops devsim. Without
# ZARVIK_NATIVE_TOOLS_DIR the Windows variant is not added. Windows device
# tests share the prefix's dosdevices links, so they run one at a time
# (RESOURCE_LOCK ${ZARVIK_WINE_DEVICES_LOCK}). Use line names of letters, digits and
# '_' only, and let every test of a program use its own lines, since the
# recordings of one program run accumulate.
set(ZARVIK_NATIVE_TOOLS_DIR "" CACHE PATH "Native build tree whose tools/devsim/devsim serves the Windows device tests")
set(ZARVIK_DEVSIM_SUPPORT ${CMAKE_CURRENT_LIST_DIR}/../tests/support)

function(zarvik_add_devsim_test name)
  cmake_parse_arguments(ARG "" "SCENARIO;TIMEOUT;COST" "SOURCES;LABELS" ${ARGN})
  get_filename_component(scenario "${ARG_SCENARIO}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 600)
  endif()
  set(support ${ZARVIK_DEVSIM_SUPPORT}/simdevices_common.cpp)
  if(WIN32)
    if(NOT ZARVIK_NATIVE_TOOLS_DIR)
      return()
    endif()
    add_executable(${name} ${ARG_SOURCES} ${support} ${ZARVIK_DEVSIM_SUPPORT}/simdevices_wine.cpp)
    target_link_libraries(${name} PRIVATE zarvik_core GTest::gmock GTest::gtest_main)
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
    add_test(NAME ${ZARVIK_TEST_PREFIX}${name}
             COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-with-devsim
                     --devsim ${ZARVIK_NATIVE_TOOLS_DIR}/tools/devsim/devsim
                     --scenario ${scenario}
                     --work ${CMAKE_CURRENT_BINARY_DIR}/${name}.sim
                     -- $<TARGET_FILE:${name}>)
    set_tests_properties(${ZARVIK_TEST_PREFIX}${name} PROPERTIES
      TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS};devsim"
      ENVIRONMENT "${ZARVIK_TEST_ENV}"
      RESOURCE_LOCK ${ZARVIK_WINE_DEVICES_LOCK})
    zarvik_wine_tests(${ZARVIK_TEST_PREFIX}${name})
  else()
    add_executable(${name} ${ARG_SOURCES} ${support} ${ZARVIK_DEVSIM_SUPPORT}/simdevices_native.cpp)
    target_link_libraries(${name} PRIVATE devsim zarvik_core GTest::gmock GTest::gtest_main)
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
    target_compile_definitions(${name} PRIVATE ZARVIK_SIM_SCENARIO="${scenario}")
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
      TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS};devsim" ENVIRONMENT "ZARVIK_TEST_NATIVE=1")
  endif()
  if(ARG_COST)
    set_tests_properties(${ZARVIK_TEST_PREFIX}${name} PROPERTIES COST ${ARG_COST})
  endif()
endfunction()
