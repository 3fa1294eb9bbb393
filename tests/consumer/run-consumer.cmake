# Installs the build tree into a scratch prefix, then configures, builds and
# runs tests/consumer against it.
file(REMOVE_RECURSE ${KLY_WORK_DIR})
set(prefix ${KLY_WORK_DIR}/install)
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}")
  endif()
endfunction()
run(${CMAKE_COMMAND} --install ${KLY_BUILD_DIR} --prefix ${prefix})
run(${CMAKE_COMMAND} -S ${KLY_CONSUMER_SOURCE} -B ${KLY_WORK_DIR}/build
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${KLY_WORK_DIR}/build)
run(${KLY_WORK_DIR}/build/consumer)
