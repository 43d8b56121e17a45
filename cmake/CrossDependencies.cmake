# The libraries a cross build takes from the host: nlohmann's headers (header-only, but the host
# package's include directory is /usr/include, which must not reach a Windows compiler) and
# GoogleTest, built from Debian's source package for the target.
set(brenvo_json_include ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${brenvo_json_include})
file(CREATE_LINK /usr/include/nlohmann ${brenvo_json_include}/nlohmann SYMBOLIC)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES ${brenvo_json_include})

if(BRENVO_TESTS)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)  # names its targets GTest::...
endif()
