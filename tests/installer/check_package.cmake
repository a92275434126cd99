# Rebuilds the package archive into OUT and compares it byte for byte with the committed one.
execute_process(COMMAND /usr/bin/python3 ${SRC}/package/make_package.py ${OUT}
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "make_package.py failed (${rc})")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT} ${SRC}/package/task.zip
                RESULT_VARIABLE same)
if(NOT same EQUAL 0)
  message(FATAL_ERROR "package/task.zip differs from what package/ gives; run scripts/make-package.sh")
endif()
