# The Timeout and About dialogs, run for real under Wine, alike on every family.
dormity_test_executable(dialog_tests dialogs/test_dialogs.cpp dialogs/test_dialog_languages.cpp)
add_dependencies(dialog_tests Dormity dormity_ctl)

add_test(NAME dialogs COMMAND ${WINE_RUN} ${CMAKE_BINARY_DIR}/dialog_tests.exe)
set(DIALOG_TESTS dialogs)
dormity_family_runs(dialog_tests dialogs ${CMAKE_BINARY_DIR} DIALOG_TESTS)

# Dormity.exe opens both dialogs from its menu; the pictures stay in the build tree.
add_test(NAME dialogs_screenshots
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/dialogs/show_dialogs.sh ${CMAKE_BINARY_DIR}
          ${CMAKE_BINARY_DIR}/screenshots)
list(APPEND DIALOG_TESTS dialogs_screenshots)

# They share the build's Wine prefix (registry, timeout, flag): one at a time.
set_tests_properties(${DIALOG_TESTS}
  PROPERTIES TIMEOUT 300 ENVIRONMENT "DORMITY_BUILD_DIR=${CMAKE_BINARY_DIR}"
             RESOURCE_LOCK dormity_wineprefix)
