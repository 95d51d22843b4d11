# Resource-only language libraries for the tests, copied as "kvxlng.dll" beside a program under test.
set(KVX_LANGLIB_DIR ${CMAKE_CURRENT_LIST_DIR})
function(kvx_add_test_language_libraries)
  foreach(lib kvxlng_partial kvxlng_rtl)
    add_library(${lib} SHARED ${KVX_LANGLIB_DIR}/${lib}.rc ${KVX_LANGLIB_DIR}/resource_dll.c)
    set_target_properties(${lib} PROPERTIES PREFIX "" LINKER_LANGUAGE C)
    target_link_options(${lib} PRIVATE -nostdlib -Wl,-e,_ResourceDllEntry@12 -s)
  endforeach()
endfunction()
