# Registers the install-and-consume test (tests/consumer/RunConsumer.cmake).
# It installs the whole build and runs cmake and the compiler twice: slow,
# hence the time-out.
set(quorl_consumer_sanitize "")
if(QUORL_SANITIZE)
  set(quorl_consumer_sanitize "-fsanitize=address,undefined -fno-omit-frame-pointer")
endif()
add_test(NAME install_consumer
  COMMAND ${CMAKE_COMMAND}
    -DBUILD_DIR=${CMAKE_BINARY_DIR} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
    -DWORK_DIR=${CMAKE_BINARY_DIR}/consumer-test -DSOVERSION=${QUORL_SOVERSION}
    -DCXX=${CMAKE_CXX_COMPILER} -DLAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER}
    "-DSANITIZE_FLAGS=${quorl_consumer_sanitize}"
    -P ${CMAKE_CURRENT_LIST_DIR}/RunConsumer.cmake)
set_tests_properties(install_consumer PROPERTIES LABELS install TIMEOUT 900)
