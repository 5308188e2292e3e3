# SPDX-License-Identifier: MIT
# Copyright (c) 2026 The Pixhaul developers

# The Debian package, built by CPack's DEB generator from the install rules:
#   cpack --config build/CPackConfig.cmake   ->   pixhaul_<version>_<arch>.deb
# Its Depends come from dpkg-shlibdeps on the installed programs, plus OpenSSL 3, which the
# programs open at run time (dlopen) and which dpkg-shlibdeps therefore cannot see.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pixhaul)
set(CPACK_PACKAGE_VENDOR "The Pixhaul authors")
set(CPACK_PACKAGE_CONTACT "The Pixhaul authors <support@pixhaul.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "download in bulk the images an image search lists")
# The long description, under the summary line; CPack indents its lines for the control file.
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Pixhaul downloads, in bulk, the images that an image-search site (Bing, Google or\n"
  "Baidu image search) lists for a query. The user searches by hand in the web view of\n"
  "its window and presses Start download; Pixhaul finds the image addresses in the\n"
  "result page and fetches every image not yet in the save folder.\n"
  ".\n"
  "The package also holds pixhaul-cli, which does the same from a saved result page or\n"
  "a page address, without a display.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.pixhaul.example/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libssl3 (>= 3.0.0)")
include(CPack)
