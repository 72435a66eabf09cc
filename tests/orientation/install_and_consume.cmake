# Installs the orientation library of BUILD_DIR into WORK_DIR/prefix,
# configures, builds and runs the project in CONSUMER_SOURCE_DIR against it.
#
#   cmake -D BUILD_DIR=... -D WORK_DIR=... -D CONSUMER_SOURCE_DIR=...
#         -D CXX_COMPILER=... [-D BUILD_TYPE=...] [-D EXTRA_FLAGS=...] -P this-file

foreach(required BUILD_DIR WORK_DIR CONSUMER_SOURCE_DIR CXX_COMPILER)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "${required} is not set")
  endif()
endforeach()
if(NOT BUILD_TYPE)
  set(BUILD_TYPE Release)
endif()

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${what} failed (${status})")
  endif()
endfunction()

set(prefix ${WORK_DIR}/prefix)
set(consumer_build ${WORK_DIR}/build)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

run("install"
  ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --component orientation
  --config ${BUILD_TYPE})

foreach(installed include/orientation/orientation.hpp)
  if(NOT EXISTS ${prefix}/${installed})
    message(FATAL_ERROR "${installed} was not installed")
  endif()
endforeach()
file(GLOB_RECURSE package_files ${prefix}/*/orientationConfig.cmake
                                ${prefix}/*/orientationConfigVersion.cmake
                                ${prefix}/*/liborientation.a)
list(LENGTH package_files found)
if(NOT found EQUAL 3)
  message(FATAL_ERROR "expected the archive and two package files, found: ${package_files}")
endif()

execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${CONSUMER_SOURCE_DIR} -B ${consumer_build}
  -D CMAKE_PREFIX_PATH=${prefix}
  -D CMAKE_FIND_PACKAGE_NO_PACKAGE_REGISTRY=ON
  -D CMAKE_CXX_COMPILER=${CXX_COMPILER}
  -D CMAKE_BUILD_TYPE=${BUILD_TYPE}
  "-DCMAKE_CXX_FLAGS=${EXTRA_FLAGS}"
  "-DCMAKE_EXE_LINKER_FLAGS=${EXTRA_FLAGS}"
  RESULT_VARIABLE status
  OUTPUT_VARIABLE configure_output
  ERROR_VARIABLE configure_output)
message("${configure_output}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "configure of the outside project failed (${status})")
endif()
# The package must come from the scratch prefix, not from an older install.
string(FIND "${configure_output}" "orientation package: ${prefix}/" at)
if(at EQUAL -1)
  message(FATAL_ERROR "orientation was not found under ${prefix}")
endif()

run("build of the outside project"
  ${CMAKE_COMMAND} --build ${consumer_build} --config ${BUILD_TYPE})
run("run of the outside project"
  ${consumer_build}/orientation_consumer)
