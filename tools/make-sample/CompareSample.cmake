# Runs the generator into a scratch file and fails unless it matches the committed sample byte for byte.
execute_process(COMMAND ${GENERATOR} ${OUTPUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "make-sample failed (${status})")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUTPUT} ${COMMITTED} RESULT_VARIABLE differs)
if(NOT differs EQUAL 0)
    message(FATAL_ERROR "resources/sample.bsm is not what make-sample writes; rebuild it with the sample-trail target")
endif()
