# Dumps each of the tree reader's trees and reads the JSON back with
# Python's json module.
file(MAKE_DIRECTORY ${WORK})
foreach(tree story hostile)
  file(WRITE ${WORK}/${tree}.tree "OMBRA-TREE ${tree}\n")
  execute_process(
    COMMAND ${OMBRA} dump ${WORK}/${tree}.tree -o ${WORK}/${tree}.json --readers ${READERS} --writers ${WRITERS}
    RESULT_VARIABLE dumped)
  if(NOT dumped EQUAL 0)
    message(FATAL_ERROR "ombra dump ${tree} failed: ${dumped}")
  endif()
  execute_process(COMMAND ${PYTHON} -m json.tool ${WORK}/${tree}.json
    RESULT_VARIABLE parsed OUTPUT_QUIET ERROR_VARIABLE problem)
  if(NOT parsed EQUAL 0)
    message(FATAL_ERROR "the dump of ${tree} is not JSON: ${problem}")
  endif()
endforeach()
