# ordelin_module(NAME
#                [DEPS targets...]        libraries the module's code links
#                [TEST_DEPS targets...]   extra libraries its tests link
#                [EXCLUDE files...])      sources (relative) that are not part of the library
#
# Collects the folder's *.cpp files into the static library NAME and its *_test.cpp files
# into the test program NAME_tests, whose cases ctest runs one by one (only with ORDELIN_TESTS).
function(ordelin_module name)
  cmake_parse_arguments(M "" "" "DEPS;TEST_DEPS;EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  if(tests)
    list(REMOVE_ITEM sources ${tests})
  endif()
  foreach(ex ${M_EXCLUDE})
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${ex})
  endforeach()
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${M_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${M_DEPS})
  endif()
  if(tests AND ORDELIN_TESTS)
    add_executable(${name}_tests ${tests})
    target_link_libraries(${name}_tests PRIVATE ${name} ${M_TEST_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
    gtest_discover_tests(${name}_tests DISCOVERY_MODE PRE_TEST
      PROPERTIES ENVIRONMENT "ORDELIN_SOURCE_DIR=${PROJECT_SOURCE_DIR};ORDELIN_BINARY_DIR=${PROJECT_BINARY_DIR}")
  endif()
endfunction()
