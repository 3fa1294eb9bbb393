# Runs the klystron command and checks its exit status, its output and the files it leaves.
#   KLYSTRON  the program        ARGS     its arguments, separated by |
#   OUT       output folder, emptied first (optional)
#   EXPECT_FAILURE  ON when the command must exit non-zero
#   EXPECT_OUTPUT   regular expression the standard output must match
#   EXPECT_ERROR    regular expression the standard error must match
#   EXPECT_FILES    files that must be in OUT, separated by |
#   UNEXPECTED_FILES files that must not be in OUT, separated by |
string(REPLACE "|" ";" args "${ARGS}")
if(OUT)
  file(REMOVE_RECURSE "${OUT}")
endif()
execute_process(COMMAND "${KLYSTRON}" ${args} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
message(STATUS "exit status ${rc}\n--- stdout\n${out}--- stderr\n${err}")
if(EXPECT_FAILURE)
  if(rc EQUAL 0)
    message(FATAL_ERROR "the command succeeded; it should have failed")
  endif()
elseif(NOT rc EQUAL 0)
  message(FATAL_ERROR "the command failed with status ${rc}")
endif()
if(DEFINED EXPECT_OUTPUT AND NOT out MATCHES "${EXPECT_OUTPUT}")
  message(FATAL_ERROR "standard output does not match '${EXPECT_OUTPUT}'")
endif()
if(DEFINED EXPECT_ERROR AND NOT err MATCHES "${EXPECT_ERROR}")
  message(FATAL_ERROR "standard error does not match '${EXPECT_ERROR}'")
endif()
string(REPLACE "|" ";" files "${EXPECT_FILES}")
foreach(f ${files})
  if(NOT EXISTS "${OUT}/${f}")
    message(FATAL_ERROR "missing ${OUT}/${f}")
  endif()
endforeach()
string(REPLACE "|" ";" files "${UNEXPECTED_FILES}")
foreach(f ${files})
  if(EXISTS "${OUT}/${f}")
    message(FATAL_ERROR "unexpected ${OUT}/${f}")
  endif()
endforeach()
