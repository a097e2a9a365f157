# cmake -DIN=file -DOUT=file.gz -P GzipFile.cmake: compresses as Debian wants it (gzip -9n:
# no name or time inside, so the same input gives the same bytes).
execute_process(COMMAND gzip -9n -c "${IN}" OUTPUT_FILE "${OUT}" RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "gzip failed on ${IN}")
endif()
