# What the tests written as CMake scripts share (include() it).

# run(<exit code> <command>...): runs the command, stops the script unless it
# exits with that code; its output in out and err.
function(run code)
  execute_process(COMMAND ${ARGN} OUTPUT_VARIABLE o ERROR_VARIABLE e RESULT_VARIABLE rc)
  if(NOT rc STREQUAL code)
    message(FATAL_ERROR "${ARGN}\nexited with ${rc}, expected ${code}\n${o}\n${e}")
  endif()
  set(out "${o}" PARENT_SCOPE)
  set(err "${e}" PARENT_SCOPE)
endfunction()
