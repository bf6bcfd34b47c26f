# One static library per component, its sources globbed from one folder, so that
# adding a file never means editing a shared list.
function(adc_library name)
  cmake_parse_arguments(ARG "" "" "SOURCE_DIRS;INCLUDE_DIRS;PRIVATE_INCLUDE_DIRS;DEPS" ${ARGN})
  set(_sources "")
  foreach(_d ${ARG_SOURCE_DIRS})
    file(GLOB _s CONFIGURE_DEPENDS ${_d}/*.cpp ${_d}/*.c)
    list(APPEND _sources ${_s})
  endforeach()
  if(_sources)
    add_library(${name} STATIC ${_sources})
    target_include_directories(${name} PUBLIC ${ARG_INCLUDE_DIRS})
    if(ARG_PRIVATE_INCLUDE_DIRS)
      target_include_directories(${name} PRIVATE ${ARG_PRIVATE_INCLUDE_DIRS})
    endif()
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${ARG_INCLUDE_DIRS})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# A GoogleTest binary from every .cpp of a folder, each test its own CTest entry.
function(adc_tests name)
  cmake_parse_arguments(ARG "" "LABEL" "SOURCE_DIRS;DEPS" ${ARGN})
  if(NOT ADC_BUILD_TESTS)
    return()
  endif()
  set(_sources "")
  foreach(_d ${ARG_SOURCE_DIRS})
    file(GLOB _s CONFIGURE_DEPENDS ${_d}/*.cpp)
    list(APPEND _sources ${_s})
  endforeach()
  if(NOT _sources)
    return()
  endif()
  add_executable(${name} ${_sources})
  # Test code is compiled for build speed: optimising it buys nothing, and the libraries it
  # tests keep the build type's flags.
  target_compile_options(${name} PRIVATE -O0)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} testing_fixture testing_kit
    GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name}
    PROPERTIES LABELS ${ARG_LABEL} TIMEOUT 120
    DISCOVERY_TIMEOUT 60)
endfunction()

# An ad client: sdk/<name>/{include,src,tests,resources}. SUBDIRS names folders that sit
# under both src/ and tests/ (src/<sub>/, tests/<sub>/). Headers in src/ and its subfolders
# are private: the tests get them, and anything else that needs them (fuzz targets,
# benchmarks) links <name>_internal.
function(adc_client name)
  cmake_parse_arguments(ARG "" "" "DEPS;TEST_DEPS;SUBDIRS" ${ARGN})
  set(_root ${CMAKE_CURRENT_SOURCE_DIR})
  set(_private ${_root}/src)
  set(_tests ${_root}/tests)
  foreach(_sub ${ARG_SUBDIRS})
    list(APPEND _private ${_root}/src/${_sub})
    list(APPEND _tests ${_root}/tests/${_sub})
  endforeach()
  adc_library(${name}
    SOURCE_DIRS ${_private}
    INCLUDE_DIRS ${_root}/include
    PRIVATE_INCLUDE_DIRS ${_private}
    DEPS ${ARG_DEPS})
  add_library(${name}_internal INTERFACE)
  target_include_directories(${name}_internal INTERFACE ${_private})
  target_link_libraries(${name}_internal INTERFACE ${name})
  adc_tests(${name}_tests LABEL ${name}
    SOURCE_DIRS ${_tests}
    DEPS ${name}_internal ${ARG_TEST_DEPS})
endfunction()
