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

# Simulated units on ptys behind COM ports, in a Wine prefix of the area's
# own (${ORVO_RUN_DIR}/NAME/prefix, with a wineserver of its own), as the
# fixture NAME_units; the units' trace is ${ORVO_RUN_DIR}/NAME/sim.log, and
# as JSON Lines ${ORVO_RUN_DIR}/NAME/sim.jsonl.
#   orvo_sim_units(NAME UNITS 5=console:address=5 7=plc:address=3)
# A hunt walks every port in its prefix's serial-port map, and registering
# the DLL rewrites the prefix's classes root. With a prefix per area, no
# test can meet another area's units, registration or wineserver, however
# CTest orders them: areas run side by side, and each area's own tests take
# turns through the resource lock NAME_prefix. The area's tests take their
# environment from orvo_area_env().
function(orvo_sim_units name)
  cmake_parse_arguments(S "" "" "UNITS" ${ARGN})
  set(prefix ${ORVO_RUN_DIR}/${name}/prefix)
  string(REPLACE "WINEPREFIX=${ORVO_WINE_PREFIX}" "WINEPREFIX=${prefix}" env "${ORVO_WINE_ENV}")
  set_property(GLOBAL PROPERTY ORVO_AREA_ENV_${name} "${env}")
  add_test(NAME ${name}_prefix_up
    COMMAND ${PROJECT_SOURCE_DIR}/tools/wine-prefix up ${prefix})
  # Removed once its area is done, so that runs do not pile prefixes up in
  # the build; the area's logs stay in the run folder.
  add_test(NAME ${name}_prefix_down
    COMMAND ${PROJECT_SOURCE_DIR}/tools/wine-prefix down ${prefix} --remove)
  add_test(NAME ${name}_units_up
    COMMAND ${PROJECT_SOURCE_DIR}/tools/sim-units up ${ORVO_SIM} ${ORVO_RUN_DIR}/${name}
            ${prefix} ${S_UNITS})
  # The prefix goes with the units, so their ports need not leave its map.
  add_test(NAME ${name}_units_down
    COMMAND ${PROJECT_SOURCE_DIR}/tools/sim-units down ${ORVO_RUN_DIR}/${name} --keep-map)
  set_tests_properties(${name}_prefix_up ${name}_prefix_down ${name}_units_up ${name}_units_down
    PROPERTIES ENVIRONMENT "${env}")
  set_tests_properties(${name}_prefix_up PROPERTIES
    FIXTURES_SETUP ${name}_prefix TIMEOUT ${ORVO_WINE_PREFIX_TIMEOUT})
  set_tests_properties(${name}_prefix_down PROPERTIES FIXTURES_CLEANUP ${name}_prefix)
  set_tests_properties(${name}_units_up PROPERTIES
    FIXTURES_SETUP ${name}_units FIXTURES_REQUIRED ${name}_prefix TIMEOUT ${ORVO_WINE_FIXTURE_TIMEOUT})
  set_tests_properties(${name}_units_down PROPERTIES
    FIXTURES_CLEANUP ${name}_units FIXTURES_REQUIRED ${name}_prefix TIMEOUT ${ORVO_WINE_FIXTURE_TIMEOUT})
endfunction()

# The environment for tests of area NAME: its own prefix.
function(orvo_area_env name out)
  get_property(env GLOBAL PROPERTY ORVO_AREA_ENV_${name})
  if(NOT env)
    message(FATAL_ERROR "no simulated units for area ${name}: orvo_sim_units(${name} ...) first")
  endif()
  set(${out} "${env}" PARENT_SCOPE)
endfunction()
