# Install rules shared by the library and the platform libraries: each one is
# installed with its headers in include/<library>/, a CMake package of its own
# (<Package>::<library>) and a pkg-config file <library>.pc. Both the package
# and the .pc file are relocatable, so a prefix can be moved or copied.

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(OVRIN_CMAKE_TEMPLATES_DIR ${CMAKE_CURRENT_LIST_DIR})

# ovrin_install_library(<target> PACKAGE <name> HEADERS <header>...
#                       [QT_COMPONENTS <component>...] [PACKAGES <package>...]
#                       [DESCRIPTION <text>])
# PACKAGES are our own packages this one depends on, installed before it.
function(ovrin_install_library target)
    cmake_parse_arguments(L "" "PACKAGE;DESCRIPTION" "HEADERS;QT_COMPONENTS;PACKAGES" ${ARGN})
    set(include_dir ${CMAKE_INSTALL_INCLUDEDIR}/${target})

    # Installed libraries are versioned and find their siblings wherever the
    # prefix lies.
    get_target_property(version ${target} VERSION)
    if(NOT version)
        set_target_properties(${target} PROPERTIES
            VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
    endif()
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN")
    target_include_directories(${target} INTERFACE $<INSTALL_INTERFACE:${include_dir}>)
    install(TARGETS ${target} EXPORT ${L_PACKAGE}Targets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${L_HEADERS} DESTINATION ${include_dir})

    ovrin_install_cmake_package(${target} ${L_PACKAGE} "${L_QT_COMPONENTS}" "${L_PACKAGES}")
    ovrin_install_pkgconfig(${target} "${L_DESCRIPTION}" "${L_QT_COMPONENTS}" "${L_PACKAGES}")
    set_property(GLOBAL PROPERTY OVRIN_PACKAGE_LIBRARY_${L_PACKAGE} ${target})
endfunction()

# <package>Config.cmake, its version file and the exported target
# <package>::<target>; the config finds Qt and our own packages first.
function(ovrin_install_cmake_package target package qt_components packages)
    set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/${package})
    install(EXPORT ${package}Targets NAMESPACE ${package}:: DESTINATION ${package_dir})

    list(JOIN qt_components " " components)
    set(PACKAGE_DEPENDENCIES "find_dependency(Qt6 ${OVRIN_QT_MIN_VERSION} COMPONENTS ${components})")
    foreach(dependency ${packages})
        string(APPEND PACKAGE_DEPENDENCIES "\nfind_dependency(${dependency} ${PROJECT_VERSION} EXACT"
            " CONFIG HINTS \"\${CMAKE_CURRENT_LIST_DIR}/..\")")
    endforeach()
    set(PACKAGE_NAME ${package})
    configure_package_config_file(${OVRIN_CMAKE_TEMPLATES_DIR}/OvrinPackageConfig.cmake.in
        ${CMAKE_CURRENT_BINARY_DIR}/${package}Config.cmake
        INSTALL_DESTINATION ${package_dir})
    # 0.x releases may break the interface with every minor version.
    write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/${package}ConfigVersion.cmake
        VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${package}Config.cmake
                  ${CMAKE_CURRENT_BINARY_DIR}/${package}ConfigVersion.cmake
        DESTINATION ${package_dir})
endfunction()

# <target>.pc, requiring the Qt modules and our own libraries it builds on.
function(ovrin_install_pkgconfig target description qt_components packages)
    set(requires)
    foreach(component ${qt_components})
        list(APPEND requires Qt6${component})
    endforeach()
    foreach(dependency ${packages})
        get_property(library GLOBAL PROPERTY OVRIN_PACKAGE_LIBRARY_${dependency})
        if(NOT library)
            message(FATAL_ERROR "${target}: package ${dependency} is not installed before it")
        endif()
        list(APPEND requires "${library} = ${PROJECT_VERSION}")
    endforeach()

    # The .pc file finds the prefix from its own place, e.g. ${pcfiledir}/../..
    file(RELATIVE_PATH PC_PREFIX_FROM_PCFILEDIR /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
    string(REGEX REPLACE "/$" "" PC_PREFIX_FROM_PCFILEDIR "${PC_PREFIX_FROM_PCFILEDIR}")
    set(PC_NAME ${target})
    set(PC_DESCRIPTION "${description}")
    list(JOIN requires ", " PC_REQUIRES)
    configure_file(${OVRIN_CMAKE_TEMPLATES_DIR}/ovrin-library.pc.in
        ${CMAKE_CURRENT_BINARY_DIR}/${target}.pc @ONLY)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${target}.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endfunction()

# ovrin_public_headers(<variable> <file>... [INTERNAL <name>...] [EXPORTING <macro>]):
# the headers among the files, less the private ones (*_p.h), the INTERNAL
# ones and, with EXPORTING, those that never name the export macro.
function(ovrin_public_headers variable)
    cmake_parse_arguments(H "" "EXPORTING" "INTERNAL" ${ARGN})
    set(headers ${H_UNPARSED_ARGUMENTS})
    list(FILTER headers INCLUDE REGEX "\\.h$")
    list(FILTER headers EXCLUDE REGEX "_p\\.h$")
    foreach(internal ${H_INTERNAL})
        list(FILTER headers EXCLUDE REGEX "/${internal}$")
    endforeach()
    # With EXPORTING, a header that never names the export macro exports
    # nothing and stays inside the library.
    if(H_EXPORTING)
        set(exporting)
        foreach(header ${headers})
            file(STRINGS ${header} uses REGEX "${H_EXPORTING}" LIMIT_COUNT 1)
            if(uses)
                list(APPEND exporting ${header})
            endif()
        endforeach()
        set(headers ${exporting})
    endif()
    set(${variable} ${headers} PARENT_SCOPE)
endfunction()
