# The client's resources: pictures, icon, dialog templates and version data.
#
#   kqv_add_resources(<target>)
#
# Windows: compiles res/windows/resources.rc.in (configured into the build
# folder), the application manifest included, into <target>; for a library
# target the resource script becomes an interface source, so every
# executable linking it carries the resources.
# Elsewhere: links <target> to kqv_resources, which holds the table of
# src/platform/gtk/EmbeddedResources.h generated from res/ at build time.
#
# The version data comes from the project version (FileVersion "1.0.0.1").

get_filename_component(KQV_SOURCE_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(KQV_RES_DIR "${KQV_SOURCE_ROOT}/res")

file(GLOB KQV_RESOURCE_FILES CONFIGURE_DEPENDS
  "${KQV_RES_DIR}/png/*.png" "${KQV_RES_DIR}/bmp/*.bmp" "${KQV_RES_DIR}/icon/*.ico"
  "${KQV_RES_DIR}/windows/*.manifest")

# Configured on every platform: the Linux tests compile it with windres too.
set(KQV_RESOURCE_SCRIPT "${CMAKE_BINARY_DIR}/generated/resources.rc")
configure_file("${KQV_RES_DIR}/windows/resources.rc.in" "${KQV_RESOURCE_SCRIPT}" @ONLY)

if(WIN32)
  enable_language(RC)

  function(kqv_add_resources target)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE")
      target_sources(${target} PRIVATE "${KQV_RESOURCE_SCRIPT}")
    else()
      target_sources(${target} INTERFACE "${KQV_RESOURCE_SCRIPT}")
    endif()
    # The script names the pictures by absolute path; recompile when they change.
    set_source_files_properties("${KQV_RESOURCE_SCRIPT}" TARGET_DIRECTORY ${target}
      PROPERTIES OBJECT_DEPENDS "${KQV_RESOURCE_FILES}")
  endfunction()
else()
  if(NOT DEFINED Python3_EXECUTABLE AND EXISTS /usr/bin/python3)
    set(Python3_EXECUTABLE /usr/bin/python3)
  endif()
  find_package(Python3 REQUIRED COMPONENTS Interpreter)

  set(KQV_EMBED_SCRIPT "${KQV_SOURCE_ROOT}/tools/art/embed_resources.py")
  set(KQV_EMBEDDED_SOURCE "${CMAKE_BINARY_DIR}/generated/EmbeddedResourcesData.cpp")
  add_custom_command(
    OUTPUT "${KQV_EMBEDDED_SOURCE}"
    COMMAND "${Python3_EXECUTABLE}" "${KQV_EMBED_SCRIPT}"
            --res "${KQV_RES_DIR}" --version "${PROJECT_VERSION}" --out "${KQV_EMBEDDED_SOURCE}"
    DEPENDS "${KQV_EMBED_SCRIPT}" ${KQV_RESOURCE_FILES}
    COMMENT "Embedding the client's resources"
    VERBATIM)

  # One library, so the big arrays are compiled once however many targets
  # ask for them.
  add_library(kqv_resources STATIC
    "${KQV_EMBEDDED_SOURCE}"
    "${KQV_SOURCE_ROOT}/src/platform/gtk/EmbeddedResources.cpp")
  target_include_directories(kqv_resources PUBLIC "${KQV_PLATFORM_ROOT}" "${CMAKE_BINARY_DIR}/layers/ui")
  set_target_properties(kqv_resources PROPERTIES POSITION_INDEPENDENT_CODE ON)

  function(kqv_add_resources target)
    # Set through the properties rather than target_link_libraries, so the
    # caller may use either signature of that command on its target.
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
      set_property(TARGET ${target} APPEND PROPERTY INTERFACE_LINK_LIBRARIES kqv_resources)
      return()
    endif()
    set_property(TARGET ${target} APPEND PROPERTY LINK_LIBRARIES kqv_resources)
    if(type STREQUAL "STATIC_LIBRARY" OR type STREQUAL "OBJECT_LIBRARY")
      # A static library's users link what it needs.
      set_property(TARGET ${target} APPEND PROPERTY INTERFACE_LINK_LIBRARIES "$<LINK_ONLY:kqv_resources>")
    endif()
    target_include_directories(${target} PRIVATE "${KQV_PLATFORM_ROOT}")
  endfunction()
endif()
