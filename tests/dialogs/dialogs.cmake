# The Timeout and About dialogs, run for real under Wine.
dormity_test_executable(dialog_tests
  dialogs/test_timeout_dialog.cpp
  dialogs/test_about_dialog.cpp)

# Stands in for the System Information tool that the About box starts.
add_executable(dialog_sysinfo_probe dialogs/sysinfo_probe.cpp)
target_link_options(dialog_sysinfo_probe PRIVATE -static -static-libgcc -static-libstdc++)
set_target_properties(dialog_sysinfo_probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
add_dependencies(dialog_tests dialog_sysinfo_probe)

add_test(NAME dialogs COMMAND ${WINE_RUN} ${CMAKE_BINARY_DIR}/dialog_tests.exe)
set(DIALOG_TESTS dialogs)

# The dialogs must look and behave alike on every family.
dormity_family_runs(dialog_tests dialogs ${CMAKE_BINARY_DIR} DIALOG_TESTS)

# Dormity.exe itself opens both dialogs from their menu commands; the
# pictures are kept in the build tree.
add_test(NAME dialogs_screenshots
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/dialogs/show_dialogs.sh ${CMAKE_BINARY_DIR}
          ${CMAKE_BINARY_DIR}/screenshots)
list(APPEND DIALOG_TESTS dialogs_screenshots)
add_dependencies(dialog_tests Dormity dormity_ctl)

# They share the build's Wine prefix (its registry, the system timeout and
# screen saver flag), so they run one at a time.
set_tests_properties(${DIALOG_TESTS}
  PROPERTIES TIMEOUT 300 ENVIRONMENT "DORMITY_BUILD_DIR=${CMAKE_BINARY_DIR}"
             RESOURCE_LOCK dormity_wineprefix)
