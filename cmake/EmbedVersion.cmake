# quadrantel_embed_version(target) gives an executable a version resource of the project's
# version, in an ELF section that the version reader finds in the file on disk.
function(quadrantel_embed_version target)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_version_resource.cpp)
  add_custom_command(
    OUTPUT ${out}
    COMMAND quadrantel-versiongen
      --output ${out}
      --version ${PROJECT_VERSION}
      --internal-name ${target}
      --original-file-name ${target}${CMAKE_EXECUTABLE_SUFFIX}
      --debug $<IF:$<CONFIG:Debug>,1,0>
    DEPENDS quadrantel-versiongen
    COMMENT "Version resource for ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE ${out})
endfunction()
