# cmake -DSORGENTE=file -DDESTINAZIONE=file.gz -P Comprimi.cmake
# Manual pages and the changelog go into the package compressed as Debian
# wants them: gzip at its best, with neither the file's name nor its time in
# the header, so the same sources give the same bytes.
# Ninja makes the output's folder; Make does not.
get_filename_component(cartella "${DESTINAZIONE}" DIRECTORY)
file(MAKE_DIRECTORY "${cartella}")
execute_process(COMMAND gzip -9nc
                INPUT_FILE "${SORGENTE}"
                OUTPUT_FILE "${DESTINAZIONE}"
                RESULT_VARIABLE esito)
if(NOT esito EQUAL 0)
  file(REMOVE "${DESTINAZIONE}")
  message(FATAL_ERROR "gzip non riuscito su ${SORGENTE}: ${esito}")
endif()
