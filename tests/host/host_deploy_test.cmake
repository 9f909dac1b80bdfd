# The installed package used by a host that copies only the files its targets
# name (tests/host/deployed): with the installation gone, the host loads the
# analyzer by path from its own folder and gets the XML of a round trip.
#   -DBUILD_DIR -DHOST_DIR -DEXAMPLE_DIR -DWORK_DIR -DGENERATOR -DCXX_COMPILER
#   -DBUILD_TYPE -DSANITIZE (comma-separated)
cmake_minimum_required(VERSION 3.25)

function(run)
  execute_process(COMMAND ${ARGN} OUTPUT_VARIABLE o ERROR_VARIABLE e RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${ARGN}\nexited with ${rc}\n${o}\n${e}")
  endif()
  set(out "${o}" PARENT_SCOPE)
endfunction()

set(prefix ${WORK_DIR}/prefix)
set(build ${WORK_DIR}/build)
file(REMOVE_RECURSE ${WORK_DIR})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
set(flags)
if(SANITIZE)  # the installed static libraries carry the sanitizer's instrumentation
  set(flags "-DCMAKE_CXX_FLAGS=-fsanitize=${SANITIZE}")
endif()
run(${CMAKE_COMMAND} -S ${HOST_DIR} -B ${build} -G ${GENERATOR} ${flags}
  -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_BUILD_TYPE=${BUILD_TYPE}
  -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF
  -DEXAMPLE_DIR=${EXAMPLE_DIR})
run(${CMAKE_COMMAND} --build ${build})
file(REMOVE_RECURSE ${prefix})

run(${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ${build}/orv_deployed_host)
if(NOT out MATCHES "<DeviceStatus>.*<Heater No=\"4\">.*<MultiLayerPrintingInformation>0<")
  message(FATAL_ERROR "the deployed host printed no round trip:\n${out}")
endif()
