# The Wine prefix every Windows test runs in, and the simulated units on
# ptys behind its COM ports.
set(ORVO_SIM ${ORVO_HOST_TOOLS}/sim/orvo-sim)
set(ORVO_RUN_DIR ${CMAKE_BINARY_DIR}/run)

add_test(NAME wine_prefix_up
  COMMAND ${PROJECT_SOURCE_DIR}/tools/wine-prefix up ${ORVO_WINE_PREFIX})
add_test(NAME wine_prefix_down
  COMMAND ${PROJECT_SOURCE_DIR}/tools/wine-prefix down ${ORVO_WINE_PREFIX})
set_tests_properties(wine_prefix_up PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 180)
set_tests_properties(wine_prefix_down PROPERTIES FIXTURES_CLEANUP wine_prefix)

# Units behind the link tests: a console that answers (COM5), one that stays
# silent (COM6) and a PLC trainer for the short frame (COM7).
add_test(NAME link_units_up
  COMMAND ${PROJECT_SOURCE_DIR}/tools/sim-units up ${ORVO_SIM} ${ORVO_RUN_DIR}/link
          ${ORVO_WINE_PREFIX}
          5=console:address=5 6=console:address=6:misbehave=silent 7=plc:address=3)
add_test(NAME link_units_down
  COMMAND ${PROJECT_SOURCE_DIR}/tools/sim-units down ${ORVO_RUN_DIR}/link)
set_tests_properties(link_units_up PROPERTIES
  FIXTURES_SETUP link_units FIXTURES_REQUIRED wine_prefix TIMEOUT 60)
set_tests_properties(link_units_down PROPERTIES FIXTURES_CLEANUP link_units)
