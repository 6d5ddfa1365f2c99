# RTKLIB for the RTCM 3 side of `rtcmv convert`.
#
# Debian's librtklib-dev installs libRTKLib.so without its header. The header comes from the same
# version's Debian source (its upstream tarball: Debian's patches leave src/rtklib.h alone), fetched
# once per user into ${XDG_CACHE_HOME:-~/.cache}/mesarortcmv/ and checked against the archive's
# checksum; only src/rtklib.h and RTKLib.pri are extracted, into the build tree. The structures' layout depends on the definitions the library
# was built with, so they are read from RTKLib.pri and must be exactly the ones Debian used.
#
# Defines the target rtklib::rtklib and sets MESARO_HAVE_RTKLIB; when the header cannot be had (no
# network, say), MESARO_HAVE_RTKLIB is OFF and the converter is left out of the build.

set(MESARO_RTKLIB_VERSION "2.4.3.b34+dfsg")
set(MESARO_RTKLIB_TARBALL_SHA256 "81ad284ea51724dd562c5b9b60941bc9dc64733ab9c8f27ee29cfd056c11895a")
set(MESARO_RTKLIB_SOURCE_URL
    "http://deb.debian.org/debian/pool/main/r/rtklib/rtklib_${MESARO_RTKLIB_VERSION}.orig.tar.xz"
    CACHE STRING "Where RTKLIB's Debian source tarball (for its header) is fetched from")
set(MESARO_RTKLIB_TARBALL "" CACHE FILEPATH
    "A local copy of rtklib_${MESARO_RTKLIB_VERSION}.orig.tar.xz; fetched from the archive when empty")
# Debian's build definitions (RTKLib.pri) that change the library's structures or behaviour.
set(MESARO_RTKLIB_DEFINITIONS TRACE ENAGLO ENAQZS ENAGAL ENACMP ENAIRN NFREQ=5 NEXOBS=3)

# A per-user cache keeps one verified copy of the tarball, so that each fresh build tree (CI makes
# two) extracts the header from it instead of fetching 31 MB again.
if(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
  set(_rtklib_cache "$ENV{XDG_CACHE_HOME}/mesarortcmv")
else()
  set(_rtklib_cache "$ENV{HOME}/.cache/mesarortcmv")
endif()
set(MESARO_RTKLIB_CACHE_DIR "${_rtklib_cache}" CACHE PATH
    "Where the verified RTKLIB source tarball is kept between build trees")

# Sets `result` ON when `tarball` is Debian's tarball (by its checksum); removes it otherwise unless
# it is the user's own MESARO_RTKLIB_TARBALL.
function(mesaro_rtklib_verify tarball result)
  file(SHA256 "${tarball}" sum)
  if(sum STREQUAL MESARO_RTKLIB_TARBALL_SHA256)
    set(${result} ON PARENT_SCOPE)
    return()
  endif()
  set(${result} OFF PARENT_SCOPE)
  if(NOT MESARO_RTKLIB_TARBALL)
    file(REMOVE "${tarball}")
  endif()
  message(WARNING "RTKLIB: ${tarball} is not Debian's rtklib ${MESARO_RTKLIB_VERSION} source; "
                  "`rtcmv convert` is left out of this build")
endfunction()

# Fetches the tarball into the user's cache unless a copy is there already.
function(mesaro_rtklib_download tarball result)
  set(${result} ON PARENT_SCOPE)
  if(EXISTS "${tarball}")
    return()
  endif()
  message(STATUS "RTKLIB: fetching its header's source tarball from ${MESARO_RTKLIB_SOURCE_URL}")
  file(MAKE_DIRECTORY "${MESARO_RTKLIB_CACHE_DIR}")
  # A unique partial name: two build trees configuring at once must not write the same file.
  string(RANDOM LENGTH 8 tag)
  # The checksum is compared by the caller, not by DOWNLOAD, whose mismatch would stop the configuration.
  file(DOWNLOAD "${MESARO_RTKLIB_SOURCE_URL}" "${tarball}.${tag}.part" TIMEOUT 300 INACTIVITY_TIMEOUT 30
       STATUS status)
  list(GET status 0 code)
  if(NOT code EQUAL 0)
    file(REMOVE "${tarball}.${tag}.part")
    list(GET status 1 text)
    message(WARNING "RTKLIB: cannot fetch ${MESARO_RTKLIB_SOURCE_URL} (${text}); "
                    "`rtcmv convert` is left out of this build")
    set(${result} OFF PARENT_SCOPE)
    return()
  endif()
  file(RENAME "${tarball}.${tag}.part" "${tarball}")
endfunction()

function(mesaro_rtklib_fetch_header dir result)
  set(${result} OFF PARENT_SCOPE)
  set(tarball "${MESARO_RTKLIB_TARBALL}")
  if(NOT tarball)
    set(tarball "${MESARO_RTKLIB_CACHE_DIR}/rtklib_${MESARO_RTKLIB_VERSION}.orig.tar.xz")
    mesaro_rtklib_download("${tarball}" fetched)
    if(NOT fetched)
      return()
    endif()
  endif()
  mesaro_rtklib_verify("${tarball}" verified)
  if(NOT verified)
    return()
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E make_directory "${dir}/x")
  execute_process(COMMAND tar -xJf "${tarball}" -C "${dir}/x" --wildcards "*/src/rtklib.h" "*/RTKLib.pri"
                  RESULT_VARIABLE rc ERROR_VARIABLE err)
  file(GLOB header "${dir}/x/*/src/rtklib.h")
  file(GLOB pri "${dir}/x/*/RTKLib.pri")
  if(NOT rc EQUAL 0 OR NOT header OR NOT pri)
    message(WARNING "RTKLIB: cannot extract rtklib.h from ${tarball}: ${err}")
    return()
  endif()
  file(STRINGS "${pri}" lines REGEX "^DEFINES[ \t]*\\+=")
  foreach(d IN LISTS MESARO_RTKLIB_DEFINITIONS)
    if(NOT lines MATCHES "[ \t]${d}([ \t]|$)")
      message(WARNING "RTKLIB: RTKLib.pri does not define ${d}; the header would not match the library")
      return()
    endif()
  endforeach()
  file(MAKE_DIRECTORY "${dir}/include")
  file(COPY "${header}" DESTINATION "${dir}/include")
  file(REMOVE_RECURSE "${dir}/x")
  set(${result} ON PARENT_SCOPE)
endfunction()

set(MESARO_HAVE_RTKLIB OFF)
find_library(MESARO_RTKLIB_LIBRARY RTKLib)
set(_rtklib_dir "${CMAKE_BINARY_DIR}/_rtklib")
if(NOT MESARO_RTKLIB_LIBRARY)
  message(WARNING "RTKLIB: libRTKLib (Debian librtklib-dev) not found; `rtcmv convert` is left out of this build")
elseif(EXISTS "${_rtklib_dir}/include/rtklib.h")
  set(MESARO_HAVE_RTKLIB ON)
else()
  mesaro_rtklib_fetch_header("${_rtklib_dir}" MESARO_HAVE_RTKLIB)
endif()

if(MESARO_HAVE_RTKLIB AND NOT TARGET rtklib::rtklib)
  add_library(rtklib::rtklib INTERFACE IMPORTED)
  set_target_properties(rtklib::rtklib PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${_rtklib_dir}/include"
    INTERFACE_SYSTEM_INCLUDE_DIRECTORIES "${_rtklib_dir}/include"
    INTERFACE_COMPILE_DEFINITIONS "${MESARO_RTKLIB_DEFINITIONS}"
    INTERFACE_LINK_LIBRARIES "${MESARO_RTKLIB_LIBRARY}")
  message(STATUS "RTKLIB: ${MESARO_RTKLIB_LIBRARY} with the header of rtklib ${MESARO_RTKLIB_VERSION}")
endif()
