# Reliability: long runs that must not leak, bad input that must not crash,
# and faults from outside (unwritable files, a missing registry key, a hung
# window, many starts at once).
set(RELIABILITY_DIR ${CMAKE_CURRENT_LIST_DIR})

# A screen saver file of our own: a real 32-bit program with string 1.
set(reliability_saver_res ${CMAKE_BINARY_DIR}/reliability_saver_res.o)
add_custom_command(
  OUTPUT ${reliability_saver_res}
  COMMAND ${DORMITY_WINDRES} --input-format=rc -O coff ${RELIABILITY_DIR}/reliability_saver.rc
          -o ${reliability_saver_res}
  DEPENDS ${RELIABILITY_DIR}/reliability_saver.rc
  COMMENT "Compiling the string table of the reliability fixture")
set_source_files_properties(${reliability_saver_res} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
add_executable(reliability_saver WIN32 ${RELIABILITY_DIR}/reliability_saver.c ${reliability_saver_res})
target_compile_options(reliability_saver PRIVATE ${DORMITY_WARNINGS})
target_link_options(reliability_saver PRIVATE -static -static-libgcc -s
  -Wl,--major-subsystem-version,4,--minor-subsystem-version,0)
set_target_properties(reliability_saver PROPERTIES
  SUFFIX .scr RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# Two other programs: one whose window stops answering messages (hung_window)
# and one that changes the screen saver flag and announces it (flag_setter).
foreach(fixture hung_window flag_setter)
  add_executable(reliability_${fixture} ${RELIABILITY_DIR}/${fixture}.cpp)
  target_compile_options(reliability_${fixture} PRIVATE ${DORMITY_WARNINGS})
  target_link_options(reliability_${fixture} PRIVATE -static -static-libgcc -static-libstdc++)
  set_target_properties(reliability_${fixture} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
endforeach()

dormity_test_executable(soak_tests ${RELIABILITY_DIR}/test_soak.cpp)
dormity_test_executable(bad_input_tests ${RELIABILITY_DIR}/test_bad_input.cpp)
dormity_test_executable(fault_tests ${RELIABILITY_DIR}/test_faults.cpp)
foreach(target soak_tests bad_input_tests fault_tests)
  add_dependencies(${target} reliability_saver)
endforeach()
add_dependencies(fault_tests Dormity dormity_ctl reliability_hung_window)
add_dependencies(soak_tests reliability_flag_setter)

add_test(NAME reliability_soak COMMAND ${WINE_RUN} ${CMAKE_BINARY_DIR}/soak_tests.exe)
add_test(NAME reliability_bad_input COMMAND ${WINE_RUN} ${CMAKE_BINARY_DIR}/bad_input_tests.exe
  --gtest_filter=BadInput.EveryReadGivesTheStoredValueOrItsDefault)
add_test(NAME reliability_bad_string_table COMMAND ${WINE_RUN} ${CMAKE_BINARY_DIR}/bad_input_tests.exe
  --gtest_filter=BadInput.DamagedStringTableIsNotReadPastItsEnd)
add_test(NAME reliability_bad_string_block COMMAND ${WINE_RUN} ${CMAKE_BINARY_DIR}/bad_input_tests.exe
  --gtest_filter=BadInput.DisguisedStringBlockIsNotReadPastItsEnd)
add_test(NAME reliability_faults COMMAND ${WINE_RUN} ${CMAKE_BINARY_DIR}/fault_tests.exe)
set_tests_properties(reliability_soak reliability_bad_input reliability_bad_string_table
  reliability_bad_string_block reliability_faults PROPERTIES
  TIMEOUT 300 ENVIRONMENT "DORMITY_BUILD_DIR=${CMAKE_BINARY_DIR}"
  RESOURCE_LOCK "dormity_wineprefix;wineprefix_screen_savers")

# The full soak (tens of minutes): cmake --build <dir> --target soak_full
add_custom_target(soak_full
  COMMAND ${WINE_RUN} ${CMAKE_BINARY_DIR}/soak_tests.exe --full
  DEPENDS soak_tests
  USES_TERMINAL
  COMMENT "Full soak: every path that replaces the tray icon or the menu's objects, thousands of times")
