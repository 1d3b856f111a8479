find_package(GTest REQUIRED)
include(GoogleTest)

# orva_add_test(NAME name SOURCES a.cpp ... LIBS lib ... [ENV VAR=value ...])
function(orva_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest orva_warnings)
  if(NOT "GTest::gtest_main" IN_LIST T_LIBS AND NOT "orva_qt_test_main" IN_LIST T_LIBS)
    target_link_libraries(${T_NAME} PRIVATE GTest::gtest_main)
  endif()
  target_compile_definitions(${T_NAME} PRIVATE
    ORVA_TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data"
    ORVA_PROGRAM_DIR="${ORVA_PROGRAM_DIR}"
    ORVA_TEST_EXEC_DIR="${ORVA_TEST_EXEC_DIR}")
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  gtest_discover_tests(${T_NAME}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "${T_ENV}" LABELS "${T_NAME}")
endfunction()

# orva_add_tests(LIBS lib ... [ENV VAR=value ...]): one test program per *_test.cpp of the calling
# folder, each named after its file.
function(orva_add_tests)
  cmake_parse_arguments(F "" "" "LIBS;ENV" ${ARGN})
  file(GLOB _tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  foreach(_src IN LISTS _tests)
    get_filename_component(_name ${_src} NAME_WE)
    orva_add_test(NAME ${_name} SOURCES ${_src} LIBS ${F_LIBS} ENV ${F_ENV})
  endforeach()
endfunction()
