if(WIN32)
    enable_language(RC)
endif()

# The Windows version record (VERSIONINFO) of a program: Explorer's properties
# page and installers read the version from it.
set(QUILLON_VERSION_RC_IN ${CMAKE_CURRENT_LIST_DIR}/version.rc.in)

function(quillon_version_record target major minor revision description)
    set(QV_MAJOR ${major})
    set(QV_MINOR ${minor})
    set(QV_REVISION ${revision})
    set(QV_DESCRIPTION "${description}")
    set(QV_PROGRAM ${target})
    # Written the way the program's version record reads: 2.03.0059.
    string(LENGTH "${minor}" minor_length)
    string(LENGTH "${revision}" revision_length)
    math(EXPR minor_padding "2 - ${minor_length}")
    math(EXPR revision_padding "4 - ${revision_length}")
    string(REPEAT "0" ${minor_padding} minor_zeros)
    string(REPEAT "0" ${revision_padding} revision_zeros)
    set(QV_TEXT "${major}.${minor_zeros}${minor}.${revision_zeros}${revision}")
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
    configure_file(${QUILLON_VERSION_RC_IN} ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
endfunction()
