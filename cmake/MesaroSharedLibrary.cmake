# mesaro_shared_library(<target> <export define> <header folder> <headers...>): the settings every
# installed platform library shares: hidden symbols, version, the define that exports its API,
# its include path in the build and the install tree, Qt 5 Core, and its install rules.
function(mesaro_shared_library target define folder)
  set_target_properties(${target} PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR}
    EXPORT_NAME ${target})
  target_compile_definitions(${target} PRIVATE ${define} QT_NO_CAST_FROM_ASCII)
  target_include_directories(${target} PUBLIC
    $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  target_link_libraries(${target} PUBLIC Qt5::Core)
  mesaro_warnings(${target})
  install(TARGETS ${target} EXPORT mesarortcmvTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${ARGN} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${folder})
endfunction()
