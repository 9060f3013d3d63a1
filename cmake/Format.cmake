# `format` rewrites the sources with clang-format; `check_format` fails when a
# file differs from what clang-format would make of it.

find_program(CLANG_FORMAT_EXE NAMES clang-format clang-format-14 clang-format-15 clang-format-16)

if(CLANG_FORMAT_EXE)
  file(GLOB_RECURSE VORLA_FORMAT_SOURCES CONFIGURE_DEPENDS
    ${CMAKE_SOURCE_DIR}/app/*.cpp ${CMAKE_SOURCE_DIR}/app/*.h
    ${CMAKE_SOURCE_DIR}/script/*.cpp ${CMAKE_SOURCE_DIR}/script/*.h
    ${CMAKE_SOURCE_DIR}/dsn/*.cpp ${CMAKE_SOURCE_DIR}/dsn/*.h
    ${CMAKE_SOURCE_DIR}/provision/*.cpp ${CMAKE_SOURCE_DIR}/provision/*.h
    ${CMAKE_SOURCE_DIR}/support/*.cpp ${CMAKE_SOURCE_DIR}/support/*.h
    ${CMAKE_SOURCE_DIR}/res/*.cpp ${CMAKE_SOURCE_DIR}/res/*.h
    ${CMAKE_SOURCE_DIR}/framework/*.cpp ${CMAKE_SOURCE_DIR}/framework/*.h
    ${CMAKE_SOURCE_DIR}/platform/*.cpp ${CMAKE_SOURCE_DIR}/platform/*.h
    ${CMAKE_SOURCE_DIR}/tests/*.cpp ${CMAKE_SOURCE_DIR}/tests/*.h
    ${CMAKE_SOURCE_DIR}/bench/*.cpp ${CMAKE_SOURCE_DIR}/bench/*.h
    ${CMAKE_SOURCE_DIR}/tools/*.cpp ${CMAKE_SOURCE_DIR}/tools/*.h)
  add_custom_target(format
    COMMAND ${CLANG_FORMAT_EXE} -i --style=file ${VORLA_FORMAT_SOURCES}
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    COMMENT "Formatting the sources")
  add_custom_target(check_format
    COMMAND ${CLANG_FORMAT_EXE} --dry-run --Werror --style=file ${VORLA_FORMAT_SOURCES}
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    COMMENT "Checking the format of the sources")
else()
  message(STATUS "clang-format not found: the format and check_format targets are not available")
endif()
