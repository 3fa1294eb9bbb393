cmake_minimum_required(VERSION 3.25)
# Fails when a file of the engine, the JNI layer or the tools includes a
# header from a layer above its own. The layers, lowest first:
#   core < numeric < model < analytic, simulation < driver < mpi, optimizer < jni, tools
# (mpi: driver/mpi, the drivers over MPI processes, which only the tools use;
# optimizer: the optimiser on pagmo).
# Layers on one level (analytic and simulation; jni and tools) may not include
# each other. Above the models, the driver, jni and tools use the layers
# below them through their public headers (klystron/...) only, and a public
# header includes no private one, since only the public tree is installed.
# The driver keeps to the standard library: no JSON, formatting, command-line,
# optimiser, MPI or JNI header; only the mpi layer and the tools include MPI's,
# only the optimiser and the tools pagmo's.
#
#   cmake -DROOT=<source tree> -P check-layers.cmake
set(kRanks core 0 numeric 1 model 2 analytic 3 simulation 3 driver 4 mpi 5 optimizer 5 jni 6 tools 6)
set(kLayers core numeric model analytic simulation driver mpi optimizer jni tools)
set(kEngine core numeric model analytic simulation driver)

function(rank_of layer out)
  list(FIND kRanks ${layer} i)
  math(EXPR i "${i} + 1")
  list(GET kRanks ${i} r)
  set(${out} ${r} PARENT_SCOPE)
endfunction()

if(NOT ROOT)
  message(FATAL_ERROR "check-layers: give -DROOT=<source tree>")
endif()
file(GLOB_RECURSE files RELATIVE ${ROOT} LIST_DIRECTORIES false
  ${ROOT}/include/klystron/*.h ${ROOT}/core/*.h ${ROOT}/core/*.cpp
  ${ROOT}/numeric/*.h ${ROOT}/numeric/*.cpp ${ROOT}/model/*.h ${ROOT}/model/*.cpp
  ${ROOT}/analytic/*.h ${ROOT}/analytic/*.cpp ${ROOT}/simulation/*.h ${ROOT}/simulation/*.cpp
  ${ROOT}/driver/*.h ${ROOT}/driver/*.cpp ${ROOT}/optimizer/*.h ${ROOT}/optimizer/*.cpp
  ${ROOT}/jni/*.h ${ROOT}/jni/*.cpp ${ROOT}/tools/*.h ${ROOT}/tools/*.cpp)
list(SORT files)

set(problems "")
set(checked 0)
foreach(file ${files})
  if(file MATCHES "^driver/mpi/")
    set(layer mpi)
    set(public FALSE)
  elseif(file MATCHES "^include/klystron/([a-z]+)/")
    set(layer ${CMAKE_MATCH_1})
    set(public TRUE)
  else()
    string(REGEX MATCH "^[a-z]+" layer ${file})
    set(public FALSE)
  endif()
  rank_of(${layer} rank)
  math(EXPR checked "${checked} + 1")
  file(STRINGS ${ROOT}/${file} lines REGEX "^[ \t]*#[ \t]*include")
  set(n 0)
  foreach(line IN LISTS lines)
    if(layer STREQUAL "driver" AND line MATCHES "#[ \t]*include[ \t]*<((nlohmann|fmt|CLI|pagmo|boost)/[^>]+|mpi\\.h|jni\\.h)>")
      string(STRIP "${line}" what)
      list(APPEND problems "${file}: ${what}: driver uses the standard library and the engine only")
      continue()
    endif()
    if(line MATCHES "#[ \t]*include[ \t]*<mpi\\.h>" AND NOT layer STREQUAL "mpi" AND NOT layer STREQUAL "tools")
      string(STRIP "${line}" what)
      list(APPEND problems "${file}: ${what}: only driver/mpi and the tools use MPI")
      continue()
    endif()
    if(NOT layer MATCHES "^(optimizer|tools)$" AND line MATCHES "#[ \t]*include[ \t]*<pagmo/")
      string(STRIP "${line}" what)
      list(APPEND problems "${file}: ${what}: pagmo belongs to the optimiser and the command only")
      continue()
    endif()
    if(NOT line MATCHES "#[ \t]*include[ \t]*[<\"](klystron/)?([a-z]+)/[^>\"]+[>\"]")
      continue()
    endif()
    set(target ${CMAKE_MATCH_2})
    set(viaPublic FALSE)
    if(CMAKE_MATCH_1)
      set(viaPublic TRUE)
    endif()
    if(line MATCHES "#[ \t]*include[ \t]*\"driver/mpi/")
      set(target mpi)
    endif()
    if(target STREQUAL "mpi" AND NOT layer STREQUAL "mpi" AND NOT layer STREQUAL "tools")
      string(STRIP "${line}" what)
      list(APPEND problems "${file}: ${what}: only the tools use the mpi layer")
      continue()
    endif()
    list(FIND kLayers ${target} known)
    if(known EQUAL -1)
      continue()
    endif()
    string(STRIP "${line}" what)
    rank_of(${target} targetRank)
    list(FIND kEngine ${target} engineTarget)
    if(NOT target STREQUAL layer AND NOT targetRank LESS rank)
      list(APPEND problems "${file}: ${what}: ${target} is not below ${layer}")
    elseif(public AND NOT viaPublic)
      list(APPEND problems "${file}: ${what}: a public header includes a private one")
    elseif(rank GREATER_EQUAL 4 AND NOT target STREQUAL layer AND NOT engineTarget EQUAL -1 AND NOT viaPublic)
      list(APPEND problems "${file}: ${what}: ${layer} uses the engine through its public headers only")
    endif()
  endforeach()
endforeach()

if(checked EQUAL 0)
  message(FATAL_ERROR "check-layers: no source files under ${ROOT}")
endif()
list(LENGTH problems count)
if(count GREATER 0)
  foreach(problem IN LISTS problems)
    message(NOTICE "${problem}")
  endforeach()
  message(FATAL_ERROR "${count} include(s) against the layers")
endif()
message(STATUS "check-layers: ${checked} files keep to their layers")
