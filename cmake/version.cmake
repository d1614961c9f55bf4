# The project version reaches the programs' version resources through a generated header, and
# the release (scripts/release.sh) through build/<preset>/release/: its README.txt for players,
# with Windows line ends, and a file VERSION that names the zip.
set(version_dir ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_SOURCE_DIR}/resources/version.h.in ${version_dir}/version.h @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/resources/README.txt.in ${CMAKE_BINARY_DIR}/release/README.txt
               @ONLY NEWLINE_STYLE CRLF)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/release/VERSION CONTENT "${PROJECT_VERSION}\n")

# A resource script that includes "version.h".
function(project_version_resource target rc_file)
  target_include_directories(${target} PRIVATE ${version_dir})
  set_property(SOURCE ${rc_file} APPEND PROPERTY OBJECT_DEPENDS ${version_dir}/version.h)
endfunction()
