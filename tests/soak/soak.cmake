# The soak: soak_driver.exe supervises worker processes that use the registered DLL while the
# port owner is killed at random moments (tests/soak/soak_driver.cpp, docs/reliability.md).
# Included by cmake/wine_tests.cmake. `make soak` (tools/soak.sh) runs the long form; every test
# run has the short one, soak_short.
add_executable(soak_driver tests/soak/soak_driver.cpp tests/soak/soak_worker.cpp
    ports/sim_store.cpp ports/sim_controller.cpp)
set_target_properties(soak_driver PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TEST_BIN})
target_link_libraries(soak_driver PRIVATE bramwick_client bramwick_framework bramwick_pure)
add_dependencies(soak_driver Bramwick xtrlog32 cdctl zezaz)

add_test(NAME soak_short COMMAND soak_driver run --processes 4 --cycles 12 --kills 2
    --listener-kills 2 --unclaimed 2 --watchers 2
    --kill-every 1000-3000 --seed 1)
set_tests_properties(soak_short PROPERTIES ENVIRONMENT "${WINE_TEST_ENV}"
    FIXTURES_REQUIRED registered TIMEOUT 600 RUN_SERIAL ON)
