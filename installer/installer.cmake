# The portable zip and, when makensis is present, the installer.
set(DORMITY_VERSION_TEXT 2.06.00)
set(PACKAGE_DIR ${CMAKE_BINARY_DIR}/package)
set(PACKAGE_ZIP ${CMAKE_BINARY_DIR}/Dormity-${DORMITY_VERSION_TEXT}.zip)
set(SETUP_EXE ${CMAKE_BINARY_DIR}/Dormity-${DORMITY_VERSION_TEXT}-setup.exe)

add_custom_command(
  OUTPUT ${PACKAGE_DIR}/README.txt ${PACKAGE_DIR}/LICENSE.txt ${PACKAGE_DIR}/Dormity.exe
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PACKAGE_DIR}
  COMMAND ${CMAKE_COMMAND} -DIN=${CMAKE_SOURCE_DIR}/installer/README.txt
          -DOUT=${PACKAGE_DIR}/README.txt -P ${CMAKE_SOURCE_DIR}/cmake/crlf.cmake
  COMMAND ${CMAKE_COMMAND} -DIN=${CMAKE_SOURCE_DIR}/LICENSE
          -DOUT=${PACKAGE_DIR}/LICENSE.txt -P ${CMAKE_SOURCE_DIR}/cmake/crlf.cmake
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Dormity> ${PACKAGE_DIR}/Dormity.exe
  DEPENDS Dormity ${CMAKE_SOURCE_DIR}/installer/README.txt ${CMAKE_SOURCE_DIR}/LICENSE
  COMMENT "Staging the package files")

add_custom_command(
  OUTPUT ${PACKAGE_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${PACKAGE_ZIP}
  COMMAND ${CMAKE_COMMAND} -E tar cf ${PACKAGE_ZIP} --format=zip Dormity.exe README.txt LICENSE.txt
  WORKING_DIRECTORY ${PACKAGE_DIR}
  DEPENDS ${PACKAGE_DIR}/README.txt ${PACKAGE_DIR}/LICENSE.txt ${PACKAGE_DIR}/Dormity.exe
  COMMENT "Packing Dormity-${DORMITY_VERSION_TEXT}.zip")
add_custom_target(package_zip ALL DEPENDS ${PACKAGE_ZIP})

find_program(MAKENSIS makensis)
if(MAKENSIS)
  add_custom_command(
    OUTPUT ${SETUP_EXE}
    COMMAND ${MAKENSIS} -V2 -DVERSION=${DORMITY_VERSION_TEXT} -DBUILD_DIR=${CMAKE_BINARY_DIR}
            -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DOUTFILE=${SETUP_EXE}
            ${CMAKE_SOURCE_DIR}/installer/dormity.nsi
    DEPENDS ${CMAKE_SOURCE_DIR}/installer/dormity.nsi ${PACKAGE_DIR}/README.txt
            ${PACKAGE_DIR}/LICENSE.txt ${PACKAGE_DIR}/Dormity.exe ${ICON_FILES} ${STRINGS_NSH}
    COMMENT "Building Dormity-${DORMITY_VERSION_TEXT}-setup.exe")
  add_custom_target(installer ALL DEPENDS ${SETUP_EXE})
else()
  message(STATUS "makensis not found: the installer is not built")
endif()
