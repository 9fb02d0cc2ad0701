# The layers of src/ and who may include whom (docs/architettura.md).
#
# Every library gets, as its include directory, a folder of the build tree that
# holds one entry only: a link to its own source folder. A library therefore
# sees "analysis/stato.h" only when it links vexa_analysis, and an include that
# climbs to a layer it does not link fails to compile instead of quietly
# working. (Relative includes with "../" get past any include path:
# scripts/verifica-livelli refuses them.)
function(vexa_livello target cartella)
  set(radice ${PROJECT_BINARY_DIR}/livelli/${cartella})
  if(NOT IS_SYMLINK ${radice}/${cartella})
    file(MAKE_DIRECTORY ${radice})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${cartella} ${radice}/${cartella} SYMBOLIC)
  endif()
  get_target_property(tipo ${target} TYPE)
  if(tipo STREQUAL "EXECUTABLE")
    target_include_directories(${target} PRIVATE ${radice})
  else()
    target_include_directories(${target} PUBLIC ${radice})
  endif()
endfunction()
