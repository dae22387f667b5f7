# cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -DSOVERSION=...
#       [-DCXX=... -DLAUNCHER=... -DSANITIZE_FLAGS=...] -P RunConsumer.cmake
# Installs the build tree into WORK_DIR/prefix, checks what landed there,
# then builds tests/consumer against it twice and runs each build: an agent
# created from the installed package says Hello. Both builds use the
# compiler's own default standard: find_package must bring C++20 with its
# targets, and the pkg-config build runs the compile line README.md gives.
foreach(var BUILD_DIR SOURCE_DIR WORK_DIR SOVERSION)
  if(NOT ${var})
    message(FATAL_ERROR "RunConsumer.cmake: ${var} not given")
  endif()
endforeach()

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${ARGN}\n${out}")
  endif()
  set(run_output "${out}" PARENT_SCOPE)
endfunction()

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/till-find-package ${WORK_DIR}/till-pkg-config)
run("cmake --install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

# What a till gets, and what it must not: no simulator, and above all no
# simulated reader library beside the package.
include(GNUInstallDirs)
set(lib ${prefix}/${CMAKE_INSTALL_LIBDIR})
set(bin ${prefix}/${CMAKE_INSTALL_BINDIR})
foreach(name QuorlRTL QuorlHost QuorlCoreMemberSys_ZEL)
  foreach(file lib${name}.so lib${name}.so.${SOVERSION} pkgconfig/${name}.pc)
    if(NOT EXISTS ${lib}/${file})
      message(FATAL_ERROR "not installed: ${lib}/${file}")
    endif()
  endforeach()
endforeach()
foreach(file ${bin}/membersys ${bin}/vxjson ${bin}/md5print ${bin}/ticketmanage
             ${lib}/quorl-membersys/MemberPrint_vrisk/PrintApp.exe ${bin}/quorl-till ${lib}/cmake/QuorlMemberSys/QuorlMemberSysConfig.cmake
             ${prefix}/${CMAKE_INSTALL_INCLUDEDIR}/quorl/agent/IMemberSysAgent_ZEL.h
             ${prefix}/${CMAKE_INSTALL_DATAROOTDIR}/doc/QuorlMemberSys/README.md
             ${prefix}/${CMAKE_INSTALL_DATAROOTDIR}/doc/QuorlMemberSys/doc/host-database.md)
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
file(GLOB_RECURSE unwanted ${prefix}/*cardreader* ${prefix}/*-sim ${prefix}/*_tests ${prefix}/*_bench)
list(FILTER unwanted EXCLUDE REGEX "/include/|/doc/")
if(unwanted)
  message(FATAL_ERROR "installed but for tests and the demo only: ${unwanted}")
endif()

# The API reference covers exactly the installed headers: a header installed
# without documentation, or documented and not installed, fails here.
file(GLOB_RECURSE installed_headers RELATIVE ${prefix}/${CMAKE_INSTALL_INCLUDEDIR}/quorl
     ${prefix}/${CMAKE_INSTALL_INCLUDEDIR}/quorl/*.h)
file(STRINGS ${BUILD_DIR}/doc/api-headers.txt documented_headers)
list(SORT installed_headers)
list(SORT documented_headers)
if(NOT installed_headers STREQUAL documented_headers)
  message(FATAL_ERROR "installed headers and the API reference's input differ "
                      "(cmake/QuorlInstall.cmake, quorl_api_headers):\n"
                      "installed: ${installed_headers}\ndocumented: ${documented_headers}")
endif()

# The installed host program runs from the prefix (its libraries found
# through its own run path, not the build tree's).
run("installed membersys --help" ${bin}/membersys --help)

set(compiler_args)
if(CXX)
  list(APPEND compiler_args -DCMAKE_CXX_COMPILER=${CXX})
endif()
if(LAUNCHER)
  list(APPEND compiler_args -DCMAKE_CXX_COMPILER_LAUNCHER=${LAUNCHER})
endif()
if(SANITIZE_FLAGS)
  # Sanitized libraries need the sanitizer runtime loaded by the program.
  list(APPEND compiler_args "-DCMAKE_CXX_FLAGS=${SANITIZE_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${SANITIZE_FLAGS}")
endif()
run("consumer configure" ${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/consumer -B ${WORK_DIR}/build -G Ninja
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF ${compiler_args})
run("consumer build" ${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run("consumer (find_package)" ${WORK_DIR}/build/consumer ${WORK_DIR}/till-find-package)
if(NOT run_output MATCHES "^Hello\n$")
  message(FATAL_ERROR "consumer (find_package) answered: ${run_output}")
endif()

# The same host through the pkg-config files. Only shared libraries are
# installed, so no .pc file may send pkg-config looking for the development
# files of what the libraries link inside: it sees our files and Qt's only.
find_program(PKG_CONFIG pkg-config REQUIRED)
foreach(name QuorlRTL QuorlHost QuorlCoreMemberSys_ZEL)
  file(READ ${lib}/pkgconfig/${name}.pc pc)
  if(pc MATCHES "Requires.private|Libs.private")
    message(FATAL_ERROR "${name}.pc has private dependencies:\n${pc}")
  endif()
endforeach()
set(pc_dir ${WORK_DIR}/pkgconfig-qt-only)
file(MAKE_DIRECTORY ${pc_dir})
run("Qt's pkg-config folder" ${PKG_CONFIG} --variable=pcfiledir Qt6Widgets)
string(STRIP "${run_output}" qt_pc_dir)
file(GLOB qt_pc_files ${qt_pc_dir}/Qt6*.pc)
file(COPY ${qt_pc_files} DESTINATION ${pc_dir})
set(ENV{PKG_CONFIG_PATH} ${lib}/pkgconfig)
set(ENV{PKG_CONFIG_LIBDIR} ${pc_dir})

# The compile line as README.md documents it, with our compiler, source,
# output and run path put in.
file(STRINGS ${SOURCE_DIR}/README.md documented REGEX "^c\\+\\+ -std=c\\+\\+20 till\\.cpp .*-o till$")
list(LENGTH documented documented_count)
if(NOT documented_count EQUAL 1)
  message(FATAL_ERROR "README.md gives ${documented_count} pkg-config compile lines, expected one")
endif()
if(NOT CXX)
  set(CXX c++)
endif()
string(REGEX REPLACE "^c\\+\\+ " "${CXX} ${SANITIZE_FLAGS} " line "${documented}")
string(REPLACE " till.cpp " " ${SOURCE_DIR}/tests/consumer/main.cpp " line "${line}")
string(REGEX REPLACE "-o till$" "-Wl,-rpath,${lib} -o ${WORK_DIR}/consumer-pc" line "${line}")
run("consumer build (pkg-config: ${line})" sh -c "${line}")
run("consumer (pkg-config)" ${WORK_DIR}/consumer-pc ${WORK_DIR}/till-pkg-config)
if(NOT run_output MATCHES "^Hello\n$")
  message(FATAL_ERROR "consumer (pkg-config) answered: ${run_output}")
endif()
