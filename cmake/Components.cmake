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
# Every test also runs under the ThreadSanitizer build unless it opts out: NO_TSAN names
# GoogleTest suites (Suite) or single tests (Suite.Case) that carry the label "no_tsan",
# which the TSan test preset leaves out. Write the reason next to each name in the caller.
function(adc_tests name)
  cmake_parse_arguments(ARG "" "LABEL" "SOURCE_DIRS;DEPS;NO_TSAN" ${ARGN})
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
  # Every test file parses the GoogleTest headers: parsed once per binary instead, the test
  # files build about a quarter faster (more shared headers gain nothing more).
  target_precompile_headers(${name} PRIVATE <gtest/gtest.h> <gmock/gmock.h>)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} testing_fixture testing_kit
    GTest::gtest GTest::gmock GTest::gtest_main)
  if(NOT ARG_NO_TSAN)
    gtest_discover_tests(${name}
      PROPERTIES LABELS ${ARG_LABEL} TIMEOUT 120
      DISCOVERY_TIMEOUT 60)
    return()
  endif()
  # Two discoveries over one binary, split by a filter and its negation, so each test is
  # registered once. A suite may be parameterised (Prefix/Suite.Case), hence the second form.
  set(_filter "")
  foreach(_name ${ARG_NO_TSAN})
    if(_name MATCHES "\\.")
      list(APPEND _filter "${_name}" "*/${_name}" "*/${_name}/*")
    else()
      list(APPEND _filter "${_name}.*" "*/${_name}.*")
    endif()
  endforeach()
  list(JOIN _filter ":" _filter)
  gtest_discover_tests(${name} TEST_FILTER "-${_filter}"
    PROPERTIES LABELS ${ARG_LABEL} TIMEOUT 120
    DISCOVERY_TIMEOUT 60)
  gtest_discover_tests(${name} TEST_FILTER "${_filter}" TEST_LIST ${name}_no_tsan
    PROPERTIES LABELS ${ARG_LABEL} TIMEOUT 120
    DISCOVERY_TIMEOUT 60)
  # A list does not survive the discovery's PROPERTIES, so the second label is added by a
  # CTest script that runs once the discovered tests are known.
  set(_labels ${CMAKE_CURRENT_BINARY_DIR}/${name}_no_tsan.cmake)
  file(WRITE ${_labels} "if(${name}_no_tsan)\n"
    "  set_tests_properties(\${${name}_no_tsan} PROPERTIES LABELS \"${ARG_LABEL};no_tsan\")\n"
    "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${_labels})
endfunction()

# An ad client: sdk/<name>/{include,src,tests,resources}. SUBDIRS names the folders that
# group src/ by role (src/<sub>/); tests/ may be grouped the same way (tests/<sub>/), or stay
# flat. Headers in src/ and its subfolders
# are private: the tests get them, and anything else that needs them (fuzz targets,
# benchmarks) links <name>_internal. NO_TSAN is passed on to adc_tests.
function(adc_client name)
  cmake_parse_arguments(ARG "" "" "DEPS;TEST_DEPS;SUBDIRS;NO_TSAN" ${ARGN})
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
    DEPS ${name}_internal ${ARG_TEST_DEPS}
    NO_TSAN ${ARG_NO_TSAN})
endfunction()
