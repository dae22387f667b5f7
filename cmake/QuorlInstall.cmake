# What a consumer of the installed package gets besides the files each folder
# installs: the documentation, the CMake package (find_package(QuorlMemberSys)
# with the targets QuorlMemberSys::RTL, ::Host and ::Package) and a pkg-config
# file per library. Included by the top CMakeLists.txt after every folder.
include(CMakePackageConfigHelpers)

# A project that adds this one with add_subdirectory uses the same names as
# one that finds the installed package.
add_library(QuorlMemberSys::RTL ALIAS QuorlRTL)
add_library(QuorlMemberSys::Host ALIAS QuorlHost)
add_library(QuorlMemberSys::Package ALIAS QuorlCoreMemberSys_ZEL)

# The public headers need C++20: every exported target says so, so a
# consumer whose compiler defaults to an older standard compiles them as
# documented (RTL and Host set it PUBLIC in their folders; the package's
# headers need it of their own).
target_compile_features(QuorlCoreMemberSys_ZEL INTERFACE cxx_std_20)

install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
# README.md links doc/...: keep the folder.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/doc DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The API reference: Doxygen over exactly the headers the folders install
# (the install test compares the two lists), every public declaration
# documented or the target fails. HTML in build/doc/api/html, installed
# beside README.md when it was built.
set(quorl_api_headers
  platform/Application.h platform/ClientDataSet.h platform/Clock.h platform/CodePage.h
  platform/Exception.h platform/Http.h platform/IniFile.h platform/Interfaces.h platform/Lists.h
  platform/Process.h platform/RtlExport.h platform/Variant.h platform/XmlNode.h
  host/DBPipe.h host/Database.h host/HostDatabase.h host/HostExport.h host/MemberAccount.h
  host/QuorlClientDataSet.h host/QuorlContext.h host/WarningMessage.h
  core/MemberRecords.h core/PackageExport.h core/uCoreMemberSys_ZEL.h
  json/NodeArena.h json/TvxBalTree.h json/uVxJSON.h
  memberdata/uCoreMemberSysErrorRes_ZEL.h memberdata/uMemberCardCheckTicket_KETHO.h
  huitouke/md5.h huitouke/uHuiTouKe_ZEL.h
  soap/InvokeRegistry.h soap/SoapConverter.h soap/THTTPRIO.h soap/TicketManage_WSDL.h
  cardreader/ReaderLibrary.h cardreader/drv_unit.h cardreader/swipecard.h
  agent/IMemberSysAgent_ZEL.h agent/PackageUnits.h agent/PostingJournal.h
  agent/TMemberSysAgentImpl_ZEL.h)
list(JOIN quorl_api_headers "\n" quorl_api_header_lines)
file(WRITE ${PROJECT_BINARY_DIR}/doc/api-headers.txt "${quorl_api_header_lines}\n")
find_package(Doxygen QUIET)
if(DOXYGEN_FOUND)
  set(QUORL_DOC_OUTPUT ${PROJECT_BINARY_DIR}/doc/api)
  list(TRANSFORM quorl_api_headers PREPEND ${PROJECT_SOURCE_DIR}/ OUTPUT_VARIABLE quorl_doc_files)
  list(JOIN quorl_doc_files " " QUORL_DOC_INPUT)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/templates/Doxyfile.in ${PROJECT_BINARY_DIR}/doc/Doxyfile @ONLY)
  add_custom_command(OUTPUT ${QUORL_DOC_OUTPUT}/html/index.html
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${QUORL_DOC_OUTPUT}
    COMMAND Doxygen::doxygen ${PROJECT_BINARY_DIR}/doc/Doxyfile
    DEPENDS ${quorl_doc_files} ${PROJECT_BINARY_DIR}/doc/Doxyfile
    COMMENT "API reference (Doxygen): build/doc/api/html"
    VERBATIM)
  add_custom_target(docs DEPENDS ${QUORL_DOC_OUTPUT}/html/index.html)
else()
  add_custom_target(docs
    COMMAND ${CMAKE_COMMAND} -E echo "docs: doxygen is not installed (scripts/setup.sh installs it)"
    COMMAND ${CMAKE_COMMAND} -E false)
endif()
# Not part of 'all': installed when the docs target has run (CI and the
# Debian build run it).
install(DIRECTORY ${PROJECT_BINARY_DIR}/doc/api/html/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/api OPTIONAL)

set(quorl_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/QuorlMemberSys)
install(EXPORT ${QUORL_EXPORT} NAMESPACE QuorlMemberSys:: DESTINATION ${quorl_cmake_dir})
configure_package_config_file(
  ${CMAKE_CURRENT_LIST_DIR}/templates/QuorlMemberSysConfig.cmake.in
  ${PROJECT_BINARY_DIR}/QuorlMemberSysConfig.cmake
  INSTALL_DESTINATION ${quorl_cmake_dir})
# Before 1.0 a minor release may break the interface; after, a major one.
if(PROJECT_VERSION_MAJOR EQUAL 0)
  set(quorl_compatibility SameMinorVersion)
else()
  set(quorl_compatibility SameMajorVersion)
endif()
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QuorlMemberSysConfigVersion.cmake
  COMPATIBILITY ${quorl_compatibility})
install(FILES
  ${PROJECT_BINARY_DIR}/QuorlMemberSysConfig.cmake
  ${PROJECT_BINARY_DIR}/QuorlMemberSysConfigVersion.cmake
  DESTINATION ${quorl_cmake_dir})

# pkg-config: the prefix is found from the .pc file's own folder, so a tree
# installed with --prefix (or copied elsewhere) needs no editing.
set(quorl_pc_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH quorl_pc_to_prefix /${quorl_pc_dir} /)
string(REGEX REPLACE "/$" "" quorl_pc_to_prefix "${quorl_pc_to_prefix}")
function(quorl_pkgconfig name description requires)
  set(PC_NAME ${name})
  set(PC_DESCRIPTION ${description})
  set(PC_REQUIRES ${requires})
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/templates/library.pc.in
                 ${PROJECT_BINARY_DIR}/pkgconfig/${name}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/${name}.pc DESTINATION ${quorl_pc_dir})
endfunction()
# Requires: what the public headers include. No Requires.private: only
# shared libraries are installed, which bring their own dependencies, and
# pkg-config would insist on the development files of every one of them
# (libcurl, pugixml, SQLite, libpq) for nothing. A .pc file cannot carry a
# language standard: README.md gives the compile line with -std=c++20.
quorl_pkgconfig(QuorlRTL "Run-time library of the Quorl member system" "")
quorl_pkgconfig(QuorlHost "Host services of the Quorl member system" "QuorlRTL")
quorl_pkgconfig(QuorlCoreMemberSys_ZEL "Quorl member-system package" "QuorlHost QuorlRTL Qt6Widgets")
