# Installs the whole build BUILD_DIR into WORK_DIR/prefix and checks that the
# programs run from there and that the man pages and the library came along.
#
#   cmake -D BUILD_DIR=... -D WORK_DIR=... -P install_check.cmake

foreach(required BUILD_DIR WORK_DIR)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "${required} is not set")
  endif()
endforeach()

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/run)

execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "install failed (${status})")
endif()

foreach(installed bin/quorvel bin/dremmick share/man/man1/quorvel.1 share/man/man1/dremmick.1
                  include/orientation/orientation.hpp)
  if(NOT EXISTS ${prefix}/${installed})
    message(FATAL_ERROR "${installed} was not installed")
  endif()
endforeach()
file(GLOB_RECURSE package ${prefix}/*/orientationConfig.cmake)
if(NOT package)
  message(FATAL_ERROR "the orientation package file was not installed")
endif()
foreach(page quorvel dremmick)
  file(STRINGS ${prefix}/share/man/man1/${page}.1 first LIMIT_COUNT 1)
  if(NOT first MATCHES "^\\.TH ")
    message(FATAL_ERROR "${page}.1 is not a man page: ${first}")
  endif()
endforeach()

# The installed programs run the chain on a two-line raw file.
file(WRITE ${WORK_DIR}/run/raw.txt
  "# installed run\n1 2 3 4 5 6 7 8 9 -1 -0.0045 2.5\n0 0 0 1 1 1 1 1 1 1 0.1 0.1\n")
file(WRITE ${WORK_DIR}/run/input.txt "raw.txt\n0.5\n3.0\n")
execute_process(COMMAND ${prefix}/bin/dremmick WORKING_DIRECTORY ${WORK_DIR}/run
                RESULT_VARIABLE status OUTPUT_VARIABLE out)
if(NOT status EQUAL 0 OR NOT out MATCHES "final number of lines =           1")
  message(FATAL_ERROR "installed dremmick failed (${status}):\n${out}")
endif()
file(WRITE ${WORK_DIR}/run/input.txt "raw_cnd.txt\n")
execute_process(COMMAND ${prefix}/bin/quorvel WORKING_DIRECTORY ${WORK_DIR}/run
                RESULT_VARIABLE status OUTPUT_VARIABLE out)
if(NOT status EQUAL 0 OR NOT out MATCHES "\n0\\.0060  0\\.0045  2\\.5000        1    0\\.0000\n")
  message(FATAL_ERROR "installed quorvel failed (${status}):\n${out}")
endif()
