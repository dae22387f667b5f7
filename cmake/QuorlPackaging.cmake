# cpack -G DEB: one Debian package with the libraries, programs, print
# application, headers, CMake and pkg-config files and documentation; what
# cmake --install puts under the prefix, under /usr. scripts/package-test.sh
# builds it and checks that it installs and removes cleanly.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorl-membersys)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Member system for the Quorl box-office client")
set(CPACK_PACKAGE_DESCRIPTION
  "Member lookup, purchases paid from a member account, consumption receipts and member card reading, as a library the box-office host loads, with the membersys host program and the print application.")
set(CPACK_PACKAGE_CONTACT "Quorl member-system developers <membersys@quorl.local>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# Dependencies come from the binaries (dpkg-shlibdeps); our own libraries are
# inside the package, so they are looked up in the build tree.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
# A shlibs file and the ldconfig trigger, for the libraries in /usr/lib.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# The swipe-card dialog needs a Qt platform plugin; the print application
# hands receipts to lp.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-qpa-plugins, cups-client")
# Debug information stays in the build tree.
set(CPACK_STRIP_FILES ON)
include(CPack)
