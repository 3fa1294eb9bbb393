# Runs the probe of the optimised and of the unoptimised engine and fails
# unless both print the same bits.
# -DOPTIMISED=... -DUNOPTIMISED=... -DFIELD_FILE=... -DWORK_DIR=...
foreach(build OPTIMISED UNOPTIMISED)
  execute_process(COMMAND ${${build}} ${FIELD_FILE}
    OUTPUT_FILE ${WORK_DIR}/probe-${build}.txt
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${${build}} failed: ${status}")
  endif()
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files
    ${WORK_DIR}/probe-OPTIMISED.txt ${WORK_DIR}/probe-UNOPTIMISED.txt
  RESULT_VARIABLE differ)
if(differ)
  message(FATAL_ERROR "the optimised and the unoptimised engine give different results: compare "
    "${WORK_DIR}/probe-OPTIMISED.txt and ${WORK_DIR}/probe-UNOPTIMISED.txt")
endif()
file(STRINGS ${WORK_DIR}/probe-OPTIMISED.txt lines)
list(LENGTH lines count)
message(STATUS "identical: ${count} lines of results")
