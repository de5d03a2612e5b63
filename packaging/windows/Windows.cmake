# What the Windows build adds to the programs and tests: icon and version resources and an application
# manifest, a window program without a console, the window's font built in, and Qt's static platform plugins.

# The icon in every size the PNGs come in, for the programs, the shortcut and the installer.
set(QUORVANE_ICO ${PROJECT_BINARY_DIR}/quorvane.ico)
file(GLOB QUORVANE_ICON_PNGS ${PROJECT_SOURCE_DIR}/src/app/icons/quorvane-*.png)
find_program(QUORVANE_CONVERT convert REQUIRED)
add_custom_command(OUTPUT ${QUORVANE_ICO}
    COMMAND ${QUORVANE_CONVERT} ${QUORVANE_ICON_PNGS} ${QUORVANE_ICO}
    DEPENDS ${QUORVANE_ICON_PNGS} VERBATIM)
add_custom_target(quorvane_ico DEPENDS ${QUORVANE_ICO})

function(quorvane_windows_resource target description)
    set(QUORVANE_RC_NAME ${target})
    set(QUORVANE_RC_FILE ${target}.exe)
    set(QUORVANE_RC_DESCRIPTION ${description})
    set(QUORVANE_RC_MANIFEST ${PROJECT_BINARY_DIR}/${target}.exe.manifest)
    configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/quorvane.manifest.in ${QUORVANE_RC_MANIFEST} @ONLY)
    set(rc ${PROJECT_BINARY_DIR}/${target}.rc)
    configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/quorvane.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
    set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${QUORVANE_ICO};${QUORVANE_RC_MANIFEST}")
    add_dependencies(${target} quorvane_ico)
endfunction()

quorvane_windows_resource(quorvane-cli "Quorvane command line")

if(QUORVANE_GUI)
    quorvane_windows_resource(quorvane "Quorvane")
    set_target_properties(quorvane PROPERTIES WIN32_EXECUTABLE ON)
endif()
