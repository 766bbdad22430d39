# The Windows package: `cpack -G ZIP` in the Windows build folder gives a zip holding
# zeltrim.exe, README.txt and the manual rendered as plain text (zeltrim.txt), both texts with
# CR LF line ends so that any Windows editor shows their lines.
install(TARGETS zeltrim RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/share/report.schema.json DESTINATION .)

# The texts are made while the package is put together, so building the program needs no
# formatter.
find_program(ZELTRIM_GROFF groff)
install(CODE "
  set(ZELTRIM_SOURCE_DIR [[${PROJECT_SOURCE_DIR}]])
  set(ZELTRIM_TEXT_DIR [[${PROJECT_BINARY_DIR}/package-texts]])
  set(ZELTRIM_GROFF [[${ZELTRIM_GROFF}]])
  include([[${PROJECT_SOURCE_DIR}/cmake/windows_texts.cmake]])
")

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME zeltrim)
set(CPACK_SYSTEM_NAME windows-x86_64)
set(CPACK_STRIP_FILES ON)
include(CPack)
