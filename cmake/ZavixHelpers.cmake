# zavix_folder_library(<target> [DEPS <targets...>])
# Builds a static library from every source, header and Designer form directly
# inside the calling folder. Files ending in _win.cpp build only for Windows,
# files ending in _posix.cpp only elsewhere.
function(zavix_folder_library target)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/*.h
    ${CMAKE_CURRENT_SOURCE_DIR}/*.ui)
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  if(WIN32)
    list(FILTER sources EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER sources EXCLUDE REGEX "_win\\.cpp$")
  endif()
  list(FILTER sources INCLUDE REGEX "\\.(cpp|h|ui)$")
  set(compiled ${sources})
  list(FILTER compiled INCLUDE REGEX "\\.cpp$")
  if(compiled)
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR})
    target_link_libraries(${target} PUBLIC ${ARG_DEPS})
  else()
    # Nothing to compile yet: keep the name usable by dependants.
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# zavix_add_test(<name> SOURCES <files...> [LIBS <targets...>] [GUI] [SERVICE])
# One Qt Test executable registered with ctest. GUI tests run offscreen.
# SERVICE: the test runs against the local service (tests/common/testservice.h):
# inside the test where the build has the emulator, otherwise one that the
# test runner starts natively (scripts/wine-test.sh for the Windows build).
function(zavix_add_test name)
  cmake_parse_arguments(ARG "GUI;SERVICE" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE Qt5::Test ${ARG_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests/common)
  add_test(NAME ${name} COMMAND ${name})
  # No test may power the machine off: the automatic shutdown starts a
  # harmless program instead of the system's command.
  if(WIN32)
    # The Windows tests run under wine, where Z: is the machine's root.
    set(harmless "Z:$<TARGET_FILE:zavix_test_harmless>")
  else()
    set(harmless /bin/true)
  endif()
  set(env "QT_QPA_PLATFORM=offscreen;ZAVIX_TEST_SOURCE_DIR=${PROJECT_SOURCE_DIR};ZAVIX_BUILD_DIR=${CMAKE_BINARY_DIR};ZAVIX_SHUTDOWN_COMMAND=${harmless}")
  if(ARG_SERVICE)
    if(TARGET devservice_core)
      target_link_libraries(${name} PRIVATE devservice_core)
      target_compile_definitions(${name} PRIVATE ZAVIX_TEST_SERVICE_IN_PROCESS)
    else()
      list(APPEND env "ZAVIX_TEST_WANTS_SERVICE=1")
    endif()
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  if(WIN32)
    # Under wine every start of a program costs seconds.
    math(EXPR ARG_TIMEOUT "${ARG_TIMEOUT} * 3")
  endif()
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT ${ARG_TIMEOUT})
endfunction()

# zavix_add_bench(<name> SOURCES <files...> [LIBS <targets...>])
function(zavix_add_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests/common)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()

# zavix_product_files(<folder> NAME <text> VERSION <text>)
# Writes the product's name and version for the program's sources and its
# Windows resource script (zavixproduct.h) and for the installer script
# (zavixproduct.nsh):
#   ZAVIX_PRODUCT_NAME, ZAVIX_PRODUCT_VERSION  the texts as given
#   ZAVIX_FILE_VERSION_TEXT                    the version's numbers ("4.1.2.20171128")
#   ZAVIX_VERSION_NUMBERS                      four 16-bit numbers for a version resource
# VERSION is "[V]a.b.c.d" with decimal numbers. Each field of a binary Windows
# version has 16 bits; a field that does not fit (the date in the last place)
# is written as 0 there, while the texts keep it whole.
function(zavix_product_files folder)
  cmake_parse_arguments(ARG "" "NAME;VERSION" "" ${ARGN})
  if(NOT ARG_NAME MATCHES "^[A-Za-z0-9 ._-]+$")
    message(FATAL_ERROR "product name \"${ARG_NAME}\": letters, digits, blanks, '.', '_' and '-' only")
  endif()
  if(NOT ARG_VERSION MATCHES "^V?([0-9]+)\\.([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
    message(FATAL_ERROR "version \"${ARG_VERSION}\" is not of the form [V]a.b.c.d")
  endif()
  set(numbers "")
  set(texts "")
  foreach(i 1 2 3 4)
    set(n ${CMAKE_MATCH_${i}})
    list(APPEND texts ${n})
    if(n GREATER 65535)
      list(APPEND numbers 0)
    else()
      list(APPEND numbers ${n})
    endif()
  endforeach()
  list(JOIN numbers "." dotted)
  list(JOIN numbers "," numbers)
  list(JOIN texts "." texts)
  file(CONFIGURE OUTPUT ${folder}/zavixproduct.h @ONLY CONTENT
"#pragma once
// Generated by CMake from the product's name and version (top-level CMakeLists.txt).
#define ZAVIX_PRODUCT_NAME \"${ARG_NAME}\"
#define ZAVIX_PRODUCT_VERSION \"${ARG_VERSION}\"
#define ZAVIX_FILE_VERSION_TEXT \"${texts}\"
#define ZAVIX_VERSION_NUMBERS ${numbers}
")
  file(CONFIGURE OUTPUT ${folder}/zavixproduct.nsh @ONLY CONTENT
"; Generated by CMake from the product's name and version (top-level CMakeLists.txt).
!define PRODUCT_NAME \"${ARG_NAME}\"
!define PRODUCT_VERSION \"${ARG_VERSION}\"
!define PRODUCT_FILE_VERSION \"${texts}\"
!define PRODUCT_VERSION_NUMBERS \"${dotted}\"
")
endfunction()
