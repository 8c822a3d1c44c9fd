# m4410_program_resources(TARGET DESCRIPTION): the manifest and version resource every Windows
# program carries (res/windows/program.*.in).
function(m4410_program_resources target description)
  set(M4410_PROGRAM ${target})
  set(M4410_PROGRAM_DESCRIPTION "${description}")
  set(made ${CMAKE_CURRENT_BINARY_DIR}/${target}-identity)
  set(M4410_PROGRAM_MANIFEST ${made}/${target}.manifest)
  configure_file(${PROJECT_SOURCE_DIR}/res/windows/program.manifest.in ${M4410_PROGRAM_MANIFEST} @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/res/windows/program.rc.in ${made}/identity.rc @ONLY)
  set_source_files_properties(${made}/identity.rc PROPERTIES OBJECT_DEPENDS ${M4410_PROGRAM_MANIFEST})
  target_sources(${target} PRIVATE ${made}/identity.rc)
endfunction()
