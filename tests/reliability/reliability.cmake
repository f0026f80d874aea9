# Reliability: long runs that must not leak, bad input that must not crash,
# and faults from outside.
set(RELIABILITY_DIR ${CMAKE_CURRENT_LIST_DIR})

# A screen saver file of our own: a real program with string 1.
set(reliability_saver_res ${CMAKE_BINARY_DIR}/reliability_saver_res.o)
dormity_rc_object(${reliability_saver_res} ${RELIABILITY_DIR}/reliability_saver.rc)
add_executable(reliability_saver WIN32 ${RELIABILITY_DIR}/reliability_saver.c ${reliability_saver_res})
target_compile_options(reliability_saver PRIVATE ${DORMITY_WARNINGS})
target_link_options(reliability_saver PRIVATE -static -static-libgcc -s
  -Wl,--major-subsystem-version,4,--minor-subsystem-version,0)
set_target_properties(reliability_saver PROPERTIES SUFFIX .scr RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

dormity_test_executable(reliability_tests ${RELIABILITY_DIR}/test_soak.cpp
  ${RELIABILITY_DIR}/test_bad_input.cpp ${RELIABILITY_DIR}/test_faults.cpp)
add_dependencies(reliability_tests reliability_saver Dormity dormity_ctl)

set(reliability_run ${WINE_RUN} ${CMAKE_BINARY_DIR}/reliability_tests.exe)
add_test(NAME reliability_soak COMMAND ${reliability_run} --gtest_filter=Soak.*)
add_test(NAME reliability_bad_input COMMAND ${reliability_run}
  --gtest_filter=BadInput.EveryReadGivesTheStoredValueOrItsDefault)
add_test(NAME reliability_bad_string_table COMMAND ${reliability_run}
  --gtest_filter=BadInput.DamagedStringTableIsNotReadPastItsEnd)
add_test(NAME reliability_bad_string_block COMMAND ${reliability_run}
  --gtest_filter=BadInput.DisguisedStringBlockIsNotReadPastItsEnd)
add_test(NAME reliability_faults COMMAND ${reliability_run} --gtest_filter=Fault*)
set_tests_properties(reliability_soak reliability_bad_input reliability_bad_string_table
  reliability_bad_string_block reliability_faults PROPERTIES
  TIMEOUT 300 ENVIRONMENT "DORMITY_BUILD_DIR=${CMAKE_BINARY_DIR}"
  RESOURCE_LOCK "dormity_wineprefix;wineprefix_screen_savers")

# The full soak (tens of minutes): cmake --build <dir> --target soak_full
add_custom_target(soak_full COMMAND ${reliability_run} --gtest_filter=Soak.* --full
  DEPENDS reliability_tests USES_TERMINAL)
