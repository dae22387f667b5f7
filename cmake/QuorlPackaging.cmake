# The Debian packages of this build, made with Debian's own tools from the
# files each install component holds (packaging/README.md):
#   cmake --build build --target deb      ->  build/deb/*.deb
# The components: RTL, Host and Package (one library each, its run-time
# package named after its soname), Development (headers and .so links; the
# CMake package and pkg-config files join it) and Tools (the programs).
# scripts/package-test.sh builds, checks, installs and removes them.
add_custom_target(deb
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${PROJECT_BINARY_DIR}/deb
  COMMAND ${PROJECT_SOURCE_DIR}/packaging/build-debs.sh ${PROJECT_BINARY_DIR} ${PROJECT_BINARY_DIR}/deb
  COMMENT "Debian packages into ${PROJECT_BINARY_DIR}/deb"
  USES_TERMINAL VERBATIM)
# Everything the components install (a new program joins this list).
add_dependencies(deb QuorlRTL QuorlHost QuorlCoreMemberSys_ZEL membersys ticketmanage vxjson md5print PrintApp quorl-till)
