cmake_minimum_required(VERSION 3.25)
# The layer check itself: on a small tree with one include of each kind it
# refuses, it must fail and name every one of them.
execute_process(COMMAND ${CMAKE_COMMAND} -DROOT=${BAD_TREE} -P ${CHECK}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(rc EQUAL 0)
  message(FATAL_ERROR "the layer check passed a tree with upward includes:\n${out}${err}")
endif()
foreach(expected
    "11 include\\(s\\) against the layers"
    "numeric/kly_Up.cpp: #include \"klystron/model/kly_Klystron.h\": model is not below numeric"
    "analytic/kly_Side.cpp: #include \"simulation/kly_SpaceCharge.h\": simulation is not below analytic"
    "include/klystron/model/kly_Public.h: #include \"model/kly_Private.h\": a public header includes a private one"
    "tools/kly_Tool.cpp: #include \"numeric/kly_Fourier.h\": tools uses the engine through its public headers only"
    "driver/kly_Drive.cpp: #include <nlohmann/json.hpp>: driver uses the standard library and the engine only"
    "driver/kly_Drive.cpp: #include \"simulation/kly_SpaceCharge.h\": driver uses the engine through its public headers only"
    "jni/kly_Binding.cpp: #include \"driver/mpi/kly_MpiExecutor.h\": only the tools use the mpi layer"
    "numeric/kly_Parallel.cpp: #include <mpi.h>: only driver/mpi and the tools use MPI"
    "numeric/kly_Parallel.cpp: #include \"klystron/driver/kly_PointExecutor.h\": driver is not below numeric"
    "numeric/kly_Up.cpp: #include <pagmo/algorithm.hpp>: pagmo belongs to the optimiser and the command only"
    "optimizer/kly_Search.cpp: #include \"tools/kly_TubeFile.h\": tools is not below optimizer")
  if(NOT err MATCHES "${expected}")
    message(FATAL_ERROR "the layer check did not report \"${expected}\":\n${err}")
  endif()
endforeach()
