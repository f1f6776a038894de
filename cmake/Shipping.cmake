# The shipping copy of a binary: its debug sections move to <file>.debug beside
# it, and the binary keeps only a link to that file (name and CRC), so a crash
# report from the field can still be symbolised. Done in place, so every test
# loads the bytes that ship.
function(orv_ship_stripped target)
    if(NOT CMAKE_OBJCOPY)
        message(FATAL_ERROR "objcopy not found; needed to strip ${target}")
    endif()
    set(file $<TARGET_FILE_NAME:${target}>)
    # objcopy stamps a PE header it rewrites with the time, unless told a date.
    set(objcopy ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0 ${CMAKE_OBJCOPY})
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${objcopy} --only-keep-debug ${file} ${file}.debug
        COMMAND ${objcopy} --strip-debug --strip-unneeded --add-gnu-debuglink=${file}.debug ${file}
        WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
        COMMENT "Stripping ${file}, debug file ${file}.debug"
        VERBATIM)
endfunction()
