# mesaro_generate_format(<PREFIX> [DESCRIPTION <dir>] [DEPENDS <files...>]): runs the message
# generator over the description in <dir> (./description of the calling folder by default) under
# the format's prefix; the generated sources go to src/generated of the calling folder's build
# tree, where one library may take several formats. The set of
# generated files follows from the description: the generator lists it (and so validates the
# description) when the project is configured. Sets, in the caller's scope:
#   <PREFIX>_GEN                the generator command for this format
#   <PREFIX>_GENERATED_DIR      where the generated sources go (build tree)
#   <PREFIX>_GENERATED_SOURCES  every generated file
#   <PREFIX>_GENERATION_INPUTS  the description, the generator and DEPENDS
function(mesaro_generate_format prefix)
  cmake_parse_arguments(G "" "DESCRIPTION" "DEPENDS" ${ARGN})
  if(NOT G_DESCRIPTION)
    set(G_DESCRIPTION ${CMAKE_CURRENT_SOURCE_DIR}/description)
  endif()
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/src/generated)
  set(generator ${PROJECT_SOURCE_DIR}/formats/rtcmv/generator)
  file(GLOB description CONFIGURE_DEPENDS ${G_DESCRIPTION}/*.py)
  file(GLOB generator_sources CONFIGURE_DEPENDS ${generator}/*.py)
  set(inputs ${description} ${generator_sources} ${G_DEPENDS})
  set(gen ${Python3_EXECUTABLE} -B ${generator}/rtcmv_gen.py --prefix ${prefix}
      --description ${G_DESCRIPTION})

  execute_process(COMMAND ${gen} --list-outputs
    OUTPUT_VARIABLE names ERROR_VARIABLE error RESULT_VARIABLE result OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${error}")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${inputs})
  list(TRANSFORM names PREPEND ${dir}/ OUTPUT_VARIABLE sources)

  add_custom_command(
    OUTPUT ${sources}
    COMMAND ${gen} --out ${dir}
    DEPENDS ${inputs}
    COMMENT "Generating the ${prefix} codec and classes from the message description"
    VERBATIM)

  set(${prefix}_GEN ${gen} PARENT_SCOPE)
  set(${prefix}_GENERATED_DIR ${dir} PARENT_SCOPE)
  set(${prefix}_GENERATED_SOURCES ${sources} PARENT_SCOPE)
  set(${prefix}_GENERATION_INPUTS ${inputs} PARENT_SCOPE)
endfunction()
