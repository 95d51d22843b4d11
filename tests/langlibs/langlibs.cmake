# Resource-only language libraries for the tests, copied as "kvxlng.dll" beside a program under test.
set(KVX_LANGLIB_DIR ${CMAKE_CURRENT_LIST_DIR})
function(kvx_add_test_language_libraries)
  foreach(lib kvxlng_partial kvxlng_rtl kvxlng_english)
    add_library(${lib} SHARED ${KVX_LANGLIB_DIR}/${lib}.rc ${KVX_LANGLIB_DIR}/resource_dll.c)
    set_target_properties(${lib} PROPERTIES PREFIX "" LINKER_LANGUAGE C)
    target_link_options(${lib} PRIVATE -nostdlib -Wl,-e,_ResourceDllEntry@12 -s)
  endforeach()
  # The English library brings the program's dialogs: same resource ids, and the drawn icon.
  target_include_directories(kvxlng_english PRIVATE ${KVX_SRC} ${KVX_ICON_DIR})
  add_dependencies(kvxlng_english kvx_icons)
  set_source_files_properties(${KVX_LANGLIB_DIR}/kvxlng_english.rc PROPERTIES OBJECT_DEPENDS ${KVX_ICON_DIR}/kvxicon.ico)
endfunction()
