# Hardening and reproducibility for every target of every tree, so the tests
# run the code that ships and two builds of one commit give the same bytes.
set(orv_c_cxx "$<COMPILE_LANGUAGE:C,CXX>")

# Paths of this checkout stay out of objects, debug info and __FILE__.
add_compile_options("$<${orv_c_cxx}:-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=>")

add_compile_options("$<${orv_c_cxx}:-fstack-protector-strong>")
if(WIN32)
    # mingw's stack protector lives in libssp; linking its archive keeps the
    # import table free of libssp-0.dll. No link timestamp in the PE header.
    string(APPEND CMAKE_C_STANDARD_LIBRARIES " -l:libssp.a")
    string(APPEND CMAKE_CXX_STANDARD_LIBRARIES " -l:libssp.a")
    add_link_options(-Wl,--no-insert-timestamp)
else()
    add_compile_options("$<${orv_c_cxx}:-fstack-clash-protection;-fcf-protection>")
    # glibc warns that fortification without optimisation does nothing.
    add_compile_options("$<$<AND:${orv_c_cxx},$<NOT:$<CONFIG:Debug>>>:-D_FORTIFY_SOURCE=2>")
    add_link_options(-Wl,-z,relro,-z,now,-z,noexecstack)
endif()
