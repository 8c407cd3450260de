# Compiles the help project PROJECT_FILE with the HTML Help compiler HHC and
# copies the result to OUTPUT. The compiler ends with 1 when it succeeds, so
# the result is judged by the compiled file.
get_filename_component(dir ${PROJECT_FILE} DIRECTORY)
get_filename_component(name ${PROJECT_FILE} NAME_WE)
file(REMOVE ${dir}/${name}.chm)
execute_process(COMMAND ${HHC} ${PROJECT_FILE} WORKING_DIRECTORY ${dir}
  OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(NOT EXISTS ${dir}/${name}.chm)
  message(FATAL_ERROR "The HTML Help compiler made no ${name}.chm:\n${log}")
endif()
file(COPY_FILE ${dir}/${name}.chm ${OUTPUT})
