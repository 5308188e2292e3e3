# SPDX-License-Identifier: MIT
# Copyright (c) 2026 The Pixhaul developers

# pixhaul_man_page(SOURCE NAME): a manual page of section 1 from SOURCE (a template whose
# @VARIABLES@ the configuration fills in), built as NAME.1 and installed compressed as
# NAME.1.gz, the way man pages are shipped. gzip -n keeps the file name and time out of the
# compressed file, so the same page always compresses to the same bytes.
find_program(PIXHAUL_GZIP gzip REQUIRED)
function(pixhaul_man_page source name)
  set(page ${CMAKE_CURRENT_BINARY_DIR}/${name}.1)
  configure_file(${source} ${page} @ONLY)
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${PIXHAUL_GZIP} -9 -n -c ${page} > ${page}.gz
    DEPENDS ${page}
    COMMENT "Compressing the manual page ${name}.1"
    VERBATIM)
  add_custom_target(${name}_man_page ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
