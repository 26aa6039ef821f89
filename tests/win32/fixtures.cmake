# The Wine prefix every Windows test runs in, and the simulated units on
# ptys behind its COM ports.
set(ORVO_SIM ${ORVO_HOST_TOOLS}/sim/orvo-sim)
set(ORVO_RUN_DIR ${CMAKE_BINARY_DIR}/run)

add_test(NAME wine_prefix_up
  COMMAND ${PROJECT_SOURCE_DIR}/tools/wine-prefix up ${ORVO_WINE_PREFIX})
add_test(NAME wine_prefix_down
  COMMAND ${PROJECT_SOURCE_DIR}/tools/wine-prefix down ${ORVO_WINE_PREFIX})
set_tests_properties(wine_prefix_up wine_prefix_down
  PROPERTIES ENVIRONMENT "${ORVO_WINE_ENV}")
set_tests_properties(wine_prefix_up PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT ${ORVO_WINE_PREFIX_TIMEOUT})
set_tests_properties(wine_prefix_down PROPERTIES FIXTURES_CLEANUP wine_prefix)

# Simulated units on ptys behind COM ports of the prefix, as the fixture
# NAME_units; the units' trace is ${ORVO_RUN_DIR}/NAME/sim.log, and as JSON
# Lines ${ORVO_RUN_DIR}/NAME/sim.jsonl. Each area
# takes its own COM numbers:
#   orvo_sim_units(NAME link UNITS 5=console:address=5 7=plc:address=3)
function(orvo_sim_units name)
  cmake_parse_arguments(S "" "" "UNITS" ${ARGN})
  add_test(NAME ${name}_units_up
    COMMAND ${PROJECT_SOURCE_DIR}/tools/sim-units up ${ORVO_SIM} ${ORVO_RUN_DIR}/${name}
            ${ORVO_WINE_PREFIX} ${S_UNITS})
  add_test(NAME ${name}_units_down
    COMMAND ${PROJECT_SOURCE_DIR}/tools/sim-units down ${ORVO_RUN_DIR}/${name})
  set_tests_properties(${name}_units_up ${name}_units_down PROPERTIES ENVIRONMENT "${ORVO_WINE_ENV}")
  set_tests_properties(${name}_units_up PROPERTIES
    FIXTURES_SETUP ${name}_units FIXTURES_REQUIRED wine_prefix TIMEOUT ${ORVO_WINE_FIXTURE_TIMEOUT})
  # Down takes the ports out of the map, so the prefix must still be up.
  set_tests_properties(${name}_units_down PROPERTIES
    FIXTURES_CLEANUP ${name}_units FIXTURES_REQUIRED wine_prefix TIMEOUT ${ORVO_WINE_FIXTURE_TIMEOUT})
  # Hunts walk every mapped port, so one area's units are never up beside
  # another's: each area starts only once every area declared before it is
  # down (all of them, since a filtered run such as -L smoke leaves some
  # out), and takes its ports out of the map when it goes.
  get_property(previous GLOBAL PROPERTY ORVO_UNITS_DOWN)
  if(previous)
    set_tests_properties(${name}_units_up PROPERTIES DEPENDS "${previous}")
  endif()
  set_property(GLOBAL APPEND PROPERTY ORVO_UNITS_DOWN ${name}_units_down)
endfunction()
