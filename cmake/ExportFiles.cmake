# The file that tells the linker what the library exports, made from the class
# tables at build time: ORVNative.def for a DLL (decorated names, ordinals),
# ORVNative.map for the .so (a version script). Sets ORV_EXPORT_FILE; the
# target orv_export_file makes it.
find_program(ORV_CXXFILT NAMES c++filt REQUIRED)
if(NOT CMAKE_NM)
    message(FATAL_ERROR "nm not found; needed to name the exported functions")
endif()
if(WIN32)
    set(ORV_EXPORT_FILE ${CMAKE_BINARY_DIR}/ORVNative.def)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(ORV_EXPORT_MODE x64)
    else()
        set(ORV_EXPORT_MODE x86)
    endif()
else()
    set(ORV_EXPORT_FILE ${CMAKE_BINARY_DIR}/ORVNative.map)
    set(ORV_EXPORT_MODE so)
endif()
# Every room whose compiled functions a table row may point at.
set(ORV_EXPORT_ROOMS jnibridge pkcs11bridge capi registry accessibility)
set(ORV_EXPORT_ROOM_FILES)
foreach(room ${ORV_EXPORT_ROOMS})
    list(APPEND ORV_EXPORT_ROOM_FILES $<TARGET_FILE:${room}>)
endforeach()
add_custom_command(OUTPUT ${ORV_EXPORT_FILE}
    COMMAND sh ${CMAKE_SOURCE_DIR}/cmake/export-files.sh ${ORV_EXPORT_MODE} ${ORV_EXPORT_FILE} ${CMAKE_CXX_COMPILER}
            ${CMAKE_NM} ${ORV_CXXFILT} ${CMAKE_SOURCE_DIR} ${ORV_EXPORT_ROOM_FILES}
    DEPENDS ${CMAKE_SOURCE_DIR}/cmake/export-files.sh ${CMAKE_SOURCE_DIR}/cmake/export-rows.in ${ORV_EXPORT_ROOMS}
    DEPFILE ${ORV_EXPORT_FILE}.d
    COMMENT "Generating the export file ${ORV_EXPORT_FILE} from the class tables"
    VERBATIM)
add_custom_target(orv_export_file DEPENDS ${ORV_EXPORT_FILE})
