# SPDX-License-Identifier: MIT
# Copyright (c) 2026 The Pixhaul developers

# The Debian package, built by CPack's DEB generator from the install rules:
#   cpack --config build/CPackConfig.cmake   ->   pixhaul_<version>-1_<arch>.deb
# Its Depends come from dpkg-shlibdeps on the installed programs, plus OpenSSL 3, which the
# programs open at run time (dlopen) and which dpkg-shlibdeps therefore cannot see.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pixhaul)
set(CPACK_PACKAGE_VENDOR "The Pixhaul authors")
set(CPACK_PACKAGE_CONTACT "The Pixhaul authors <support@pixhaul.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "download in bulk the images an image search lists")
# The long description, under the summary line; CPack indents its lines by one space for the
# control file, where no line may pass 80 columns.
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Pixhaul downloads, in bulk, the images that an image-search site (Bing,\n"
  "Google or Baidu image search) lists for a query. The user searches by hand\n"
  "in the web view of its window and presses Start download; Pixhaul finds the\n"
  "image addresses in the result page and fetches every image not yet in the\n"
  "save folder.\n"
  ".\n"
  "The package also holds pixhaul-cli, which does the same from a saved result\n"
  "page or a page address, without a display.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.pixhaul.example/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libssl3 (>= 3.0.0)")
# The first packaging of upstream version PROJECT_VERSION: the package's version is
# PROJECT_VERSION-1, and its history is packaging/changelog.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(PIXHAUL_PACKAGE_VERSION ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
# The control files get the permissions dpkg expects.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

# Stripped for the package (cpack, or cmake --install --strip), the programs also lose the
# compiler's identification (.comment) and the .note section, which nothing reads at run time.
set(PIXHAUL_PROGRAMS pixhaul-cli)
if(PIXHAUL_BUILD_GUI)
  list(APPEND PIXHAUL_PROGRAMS pixhaul)
endif()
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(program ${PIXHAUL_PROGRAMS})
      execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment --remove-section=.note
              \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\"
              COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
  endif()")

# The Debian documentation folder: the copyright file (machine-readable, naming Pixhaul's
# licence and those of the libraries it links) and the packaging's changelog, compressed; and
# the lintian overrides, each with its reason.
set(PIXHAUL_DEBIAN_CHANGELOG ${PROJECT_BINARY_DIR}/changelog.Debian.gz)
add_custom_command(OUTPUT ${PIXHAUL_DEBIAN_CHANGELOG}
  COMMAND ${PIXHAUL_GZIP} -9 -n -c ${PROJECT_SOURCE_DIR}/packaging/changelog > ${PIXHAUL_DEBIAN_CHANGELOG}
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
  COMMENT "Compressing the Debian changelog"
  VERBATIM)
add_custom_target(pixhaul_debian_changelog ALL DEPENDS ${PIXHAUL_DEBIAN_CHANGELOG})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${PIXHAUL_DEBIAN_CHANGELOG}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/pixhaul)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME pixhaul)
