# Runs one whole update of a 40-byte image on the simulated box, on the virtual clock, with
# --trace, and holds the trace to the one kept in the tree: every register access the link
# makes, its value and its simulated time, through negotiation, both turns and termination.
# A change that means to alter the link's accesses updates the golden file in the same commit.
#   cmake -DM4410=<m4410> -DGOLDEN=<golden trace> -DWORK_DIR=<scratch folder>
#         -P check_golden_trace.cmake
cmake_minimum_required(VERSION 3.22)
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
file(WRITE "${WORK_DIR}/image.bin" "Marlovine 4410 golden trace image, 40 b.")
execute_process(
  COMMAND "${M4410}" update image.bin --sim clock=virtual,update-ms=0,box-data=3
          --trace run.trace --no-log --quiet
  WORKING_DIRECTORY "${WORK_DIR}"
  RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "m4410 update on the simulated box exited ${result}:\n${errors}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${WORK_DIR}/run.trace" "${GOLDEN}"
                RESULT_VARIABLE differs)
if(differs)
  message(FATAL_ERROR "the link's register accesses changed: diff ${WORK_DIR}/run.trace ${GOLDEN}")
endif()
message(STATUS "trace matches ${GOLDEN}")
