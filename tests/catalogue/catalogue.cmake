# The screen saver catalogue and the popup's items: fixture screen savers, the
# in-process tests (again on each family), the screenshots and a benchmark.
set(CATALOGUE_DIR ${CMAKE_CURRENT_LIST_DIR})
set(CATALOGUE_FIXTURE_DIR ${CMAKE_BINARY_DIR}/catalogue_fixtures)

# Real 32-bit GUI programs that differ only in their string table, built with
# the program's toolchain, and one DLL whose code would leave a marker if it
# ever ran.
set(CATALOGUE_FIXTURE_FILES)
foreach(variant starfield nostring emptystr long300 tenchars marker twolang otherlang neutrallang)
  set(res ${CMAKE_BINARY_DIR}/catalogue_fixture_${variant}_res.o)
  dormity_rc_object(${res} ${CATALOGUE_DIR}/fixtures/saver.rc -DFIXTURE_${variant} -I ${ICON_DIR})
  add_custom_command(OUTPUT ${res} APPEND DEPENDS ${ICON_DIR}/icon104.ico)
  if(variant STREQUAL marker)
    add_library(catalogue_fixture_${variant} SHARED ${CATALOGUE_DIR}/fixtures/marker_saver.c ${res})
    set_target_properties(catalogue_fixture_${variant} PROPERTIES PREFIX "")
  else()
    add_executable(catalogue_fixture_${variant} WIN32 ${CATALOGUE_DIR}/fixtures/saver_main.c ${res})
  endif()
  target_compile_options(catalogue_fixture_${variant} PRIVATE ${DORMITY_WARNINGS})
  target_link_options(catalogue_fixture_${variant} PRIVATE -static -static-libgcc -s
    -Wl,--major-subsystem-version,4,--minor-subsystem-version,0)
  set_target_properties(catalogue_fixture_${variant} PROPERTIES OUTPUT_NAME ${variant} SUFFIX .scr
    RUNTIME_OUTPUT_DIRECTORY ${CATALOGUE_FIXTURE_DIR} LIBRARY_OUTPUT_DIRECTORY ${CATALOGUE_FIXTURE_DIR})
  list(APPEND CATALOGUE_FIXTURE_FILES ${CATALOGUE_FIXTURE_DIR}/${variant}.scr)
endforeach()

# A language-neutral screen saver (its ultimate fallback English or German)
# and its satellites, resource-only images named "<language>.mui" here; the
# tests install them as "<language>\<file name>.mui".
foreach(variant neutral_en neutral_de neutral_strings en en_replaced de)
  set(res ${CMAKE_BINARY_DIR}/catalogue_fixture_mui_${variant}_res.o)
  dormity_rc_object(${res} ${CATALOGUE_DIR}/fixtures/mui.rc -DMUI_${variant})
  if(variant MATCHES "^neutral")
    add_executable(catalogue_fixture_mui_${variant} WIN32 ${CATALOGUE_DIR}/fixtures/saver_main.c ${res})
    target_link_options(catalogue_fixture_mui_${variant} PRIVATE -static -static-libgcc -s)
    set_target_properties(catalogue_fixture_mui_${variant} PROPERTIES OUTPUT_NAME mui_${variant}
      SUFFIX .scr RUNTIME_OUTPUT_DIRECTORY ${CATALOGUE_FIXTURE_DIR})
    list(APPEND CATALOGUE_FIXTURE_FILES ${CATALOGUE_FIXTURE_DIR}/mui_${variant}.scr)
  else()
    set(satellite ${CATALOGUE_FIXTURE_DIR}/${variant}.mui)
    add_custom_command(OUTPUT ${satellite} DEPENDS ${res}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CATALOGUE_FIXTURE_DIR}
      COMMAND ${CMAKE_C_COMPILER} -shared -nostdlib -Wl,-e,0 -s -o ${satellite} ${res})
    list(APPEND CATALOGUE_FIXTURE_FILES ${satellite})
  endif()
endforeach()

# Files the loader must refuse, one that loads but fails the header test, one
# whose string table would lead a reader far past the end of the file, and one
# whose resource tree would keep a reader that multiplies its levels for hours.
set(derive ${Python3_EXECUTABLE} ${CATALOGUE_DIR}/fixtures/derive.py)
set(derived truncated.scr badheader.scr badstrings.scr notes.scr crafted.scr)
list(TRANSFORM derived PREPEND ${CATALOGUE_FIXTURE_DIR}/)
add_custom_command(OUTPUT ${derived} WORKING_DIRECTORY ${CATALOGUE_FIXTURE_DIR}
  COMMAND ${derive} truncate starfield.scr truncated.scr 200
  COMMAND ${derive} header starfield.scr badheader.scr
  COMMAND ${derive} strings starfield.scr badstrings.scr
  COMMAND ${derive} text notes.scr
  COMMAND ${derive} crafted starfield.scr crafted.scr
  DEPENDS catalogue_fixture_starfield ${CATALOGUE_DIR}/fixtures/derive.py)
add_custom_target(catalogue_fixtures ALL DEPENDS ${CATALOGUE_FIXTURE_FILES} ${derived})

dormity_test_executable(catalogue_tests ${CATALOGUE_DIR}/test_catalogue.cpp ${CATALOGUE_DIR}/test_reader.cpp)
target_compile_options(catalogue_tests PRIVATE ${DORMITY_WARNINGS})
add_dependencies(catalogue_tests catalogue_fixtures)

# The tests install files into the prefix's Windows and System directories,
# set the configured screen saver and change system colours and the menu
# font for a moment; no two of them may run at once.
set(CATALOGUE_TESTS catalogue)
add_test(NAME catalogue COMMAND ${WINE_RUN} ${CMAKE_BINARY_DIR}/catalogue_tests.exe)
dormity_family_runs(catalogue_tests catalogue ${CMAKE_BINARY_DIR} CATALOGUE_TESTS)
# Wine takes its user interface languages from the locale variables: the
# language-neutral savers again with German as the display language.
add_test(NAME catalogue_satellites_german COMMAND ${WINE_RUN} ${CMAKE_BINARY_DIR}/catalogue_tests.exe
  --gtest_filter=*Satellite*)
list(APPEND CATALOGUE_TESTS catalogue_satellites_german)
add_test(NAME catalogue_screenshots COMMAND bash ${CATALOGUE_DIR}/menu_screenshots.sh ${CMAKE_BINARY_DIR})
set_tests_properties(catalogue_screenshots PROPERTIES SKIP_RETURN_CODE 77)
list(APPEND CATALOGUE_TESTS catalogue_screenshots)
set_tests_properties(${CATALOGUE_TESTS} PROPERTIES TIMEOUT 300
  RESOURCE_LOCK "dormity_wineprefix;wineprefix_screen_savers"
  ENVIRONMENT "DORMITY_BUILD_DIR=${CMAKE_BINARY_DIR}")
set_property(TEST catalogue_satellites_german APPEND PROPERTY ENVIRONMENT
  "LC_ALL=de_DE.UTF-8;DORMITY_UI_LANGUAGE=0407")
# The file reader against the system's loader in other user interface languages.
foreach(run german:de_DE:0407 french:fr_FR:040C portuguese:pt_BR:0416)
  string(REPLACE ":" ";" run ${run})
  list(GET run 0 language)
  list(GET run 1 locale)
  list(GET run 2 id)
  add_test(NAME catalogue_reader_${language}
    COMMAND ${WINE_RUN} ${CMAKE_BINARY_DIR}/catalogue_tests.exe --gtest_filter=Reader*)
  set_tests_properties(catalogue_reader_${language} PROPERTIES TIMEOUT 300
    RESOURCE_LOCK "dormity_wineprefix;wineprefix_screen_savers" ENVIRONMENT
    "DORMITY_BUILD_DIR=${CMAKE_BINARY_DIR};LC_ALL=${locale}.UTF-8;DORMITY_UI_LANGUAGE=${id}")
endforeach()

# The items' layout at 120, 144 and 192 pixels per inch, in a prefix of its own.
add_test(NAME catalogue_dpi COMMAND bash ${CATALOGUE_DIR}/dpi_runs.sh ${CMAKE_BINARY_DIR})
set_tests_properties(catalogue_dpi PROPERTIES TIMEOUT 300 RESOURCE_LOCK wineprefix_dpi
  ENVIRONMENT "DORMITY_BUILD_DIR=${CMAKE_BINARY_DIR}")

# A benchmark, not a test: run it by hand under Wine.
add_executable(bench_catalogue ${CATALOGUE_DIR}/bench_catalogue.cpp ${RES_OBJECT})
target_link_libraries(bench_catalogue PRIVATE dormity_core)
target_compile_options(bench_catalogue PRIVATE ${DORMITY_WARNINGS})
target_link_options(bench_catalogue PRIVATE -static -static-libgcc -static-libstdc++ -mconsole)
add_dependencies(bench_catalogue dormity_resources catalogue_fixtures)
set_target_properties(bench_catalogue PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
