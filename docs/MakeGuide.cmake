# Turns the man page into the PDF user guide: cmake -DIN=<page> -DOUT=<pdf> -DGROFF=<groff> -P
execute_process(COMMAND ${GROFF} -man -Tpdf -ww ${IN}
                OUTPUT_FILE ${OUT}.tmp
                ERROR_VARIABLE messages
                RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT messages STREQUAL "")
  file(REMOVE ${OUT}.tmp)
  message(FATAL_ERROR "groff could not make ${OUT} (${result}):\n${messages}")
endif()
file(RENAME ${OUT}.tmp ${OUT})
