# z7_add_test(NAME name SOURCES ... [LIBS ...] [LABELS ...] [TIMEOUT s])
# One Qt Test program registered with CTest. Label "tsan" puts it in the ThreadSanitizer run,
# label "e2e" marks tests that talk to the device simulator.
add_custom_target(z7_tsan_tests)
function(z7_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE Qt6::Test ${T_LIBS})
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests/common)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  # The panel's settings (language, connections) go to the build tree, never to the user's own.
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;Z7_SOURCE_DIR=${PROJECT_SOURCE_DIR};Z7_BINARY_DIR=${PROJECT_BINARY_DIR};XDG_CONFIG_HOME=${PROJECT_BINARY_DIR}/tests/config")
  if(T_LABELS)
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
    if("tsan" IN_LIST T_LABELS)
      target_sources(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests/common/TsanOptions.cpp)
      add_dependencies(z7_tsan_tests ${T_NAME})
    endif()
  endif()
endfunction()
