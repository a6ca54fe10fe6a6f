# omblor_library(NAME SOURCES... [DEPS libs...])
#   A static library of the core whose headers are included as "<folder>/<File>.h".
function(omblor_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# omblor_test(NAME SOURCES... [DEPS libs...] [LABELS labels...])
#   One GoogleTest executable, registered with ctest as one test per case.
#   Label "netns" marks tests that must run inside a private network namespace.
function(omblor_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;LABELS;ENV" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main)
  set(props "")
  if(ARG_LABELS)
    list(APPEND props LABELS "${ARG_LABELS}")
  endif()
  set(env "OMBLOR_BIN_DIR=${PROJECT_BINARY_DIR}/bin;OMBLOR_SOURCE_DIR=${PROJECT_SOURCE_DIR};${ARG_ENV}")
  if(CMAKE_CROSSCOMPILING)
    # Listing the cases would start the emulator once per build; one test per executable.
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES ${props} ENVIRONMENT "${env}" TIMEOUT 300)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 30 PROPERTIES ${props} TIMEOUT 120)
    # The environment goes on after discovery: handed through PROPERTIES, a list keeps only its
    # first entry (the others are taken for property names).
    set(env_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_environment.cmake)
    file(WRITE ${env_file} "foreach(test IN LISTS ${name}_TESTS)\n"
                           "  set_tests_properties(\"\${test}\" PROPERTIES ENVIRONMENT [==[${env}]==])\n"
                           "endforeach()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${env_file})
  endif()
endfunction()

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
include(GoogleTest OPTIONAL)
