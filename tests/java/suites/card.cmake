# A virtual smart card (libcacard behind vpcd and pcscd) through OpenSC's module.
if(NOT TARGET orvcard-relay)
    add_subdirectory(${CMAKE_SOURCE_DIR}/tools/card ${CMAKE_BINARY_DIR}/tools/card)
endif()
