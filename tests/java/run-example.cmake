# Compiles and runs the README's Java example as the README says, against the
# built jar and library: javac -cp klystron.jar, then java -Djava.library.path.
#   JAVAC, JAVA  the tools     JAR  klystron.jar     LIBRARY_DIR  the folder of libklystron.so
#   SOURCE  the example        WORK_DIR  a scratch folder
file(REMOVE_RECURSE "${WORK_DIR}")
execute_process(COMMAND "${JAVAC}" -cp "${JAR}" -d "${WORK_DIR}" "${SOURCE}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "javac failed (${rc})")
endif()
execute_process(COMMAND "${JAVA}" -Djava.library.path=${LIBRARY_DIR} -cp "${JAR}:${WORK_DIR}" RunTube
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
message(STATUS "${out}${err}")
if(NOT rc EQUAL 0 OR NOT out MATCHES "analytic:  gain 58.050 dB.*simulated: gain 51.242 dB")
  message(FATAL_ERROR "the example failed (${rc}) or printed other gains")
endif()
