# Read by cpack once per generator.
# The installer unpacks into the folder the operator chose: no version folder inside it.
if(CPACK_GENERATOR STREQUAL "NSIS")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
endif()
