# Run by CPack on the staged files before it packs them: strips the programs as Debian's own tools
# do, without the compiler's .comment and the .note section, which a stripped program does not need.
file(GLOB programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin/*")
if(NOT programs)
  message(FATAL_ERROR "strip.cmake: no programs under ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin")
endif()
foreach(program ${programs})
  execute_process(COMMAND "${CPACK_STRIP_COMMAND}" --remove-section=.comment --remove-section=.note
                          --strip-unneeded "${program}"
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "strip.cmake: stripping ${program} failed")
  endif()
endforeach()
