# Extra test tiers that live in their own folders.
include(${CMAKE_CURRENT_SOURCE_DIR}/wine/wine.cmake OPTIONAL)
