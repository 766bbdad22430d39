# Run while the Windows package is installed into its staging folder: writes README.txt and the
# manual page rendered as zeltrim.txt, each with CR LF line ends.
file(MAKE_DIRECTORY ${ZELTRIM_TEXT_DIR})

function(write_windows_text name text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${ZELTRIM_TEXT_DIR}/${name} "${text}")
  file(INSTALL ${ZELTRIM_TEXT_DIR}/${name} DESTINATION ${CMAKE_INSTALL_PREFIX})
endfunction()

file(READ ${ZELTRIM_SOURCE_DIR}/README.md readme)
write_windows_text(README.txt "${readme}")

set(manual_page ${ZELTRIM_SOURCE_DIR}/man/zeltrim.1)
if(NOT ZELTRIM_GROFF)
  message(FATAL_ERROR "groff renders the manual for the package: install groff-base")
endif()
# Plain ASCII without overstriking: no bold, no underline, no escape sequences.
execute_process(
  COMMAND ${ZELTRIM_GROFF} -man -Tascii -P-cbou ${manual_page}
  OUTPUT_VARIABLE manual
  RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "groff could not render ${manual_page}")
endif()
write_windows_text(zeltrim.txt "${manual}")
