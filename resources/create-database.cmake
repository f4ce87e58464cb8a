# cmake -DISQL=... -DSCHEMA=... -DOUTPUT=... -P create-database.cmake
# Creates an empty notes database from the schema file.
file(REMOVE ${OUTPUT})
file(READ ${SCHEMA} schema)
file(WRITE ${OUTPUT}.sql
    "CREATE DATABASE '${OUTPUT}' USER 'admin' PASSWORD 'quillharbour' PAGE_SIZE 16384 DEFAULT CHARACTER SET UTF8;\n${schema}")
execute_process(COMMAND ${ISQL} -q -bail -i ${OUTPUT}.sql RESULT_VARIABLE result ERROR_VARIABLE errors)
file(REMOVE ${OUTPUT}.sql)
if(NOT result EQUAL 0 OR NOT EXISTS ${OUTPUT})
    file(REMOVE ${OUTPUT})
    message(FATAL_ERROR "Creating ${OUTPUT} failed: ${errors}")
endif()
