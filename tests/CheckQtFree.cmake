# Fails when a file of the Qt-free layers includes a Qt header or uses Qt's object macros.
# Run as: cmake -DSOURCE_DIR=<repo> -P CheckQtFree.cmake
file(GLOB_RECURSE sources
    "${SOURCE_DIR}/mail/*.h" "${SOURCE_DIR}/mail/*.cpp"
    "${SOURCE_DIR}/platform/*.h" "${SOURCE_DIR}/platform/*.cpp")
set(offenders "")
foreach(source IN LISTS sources)
    file(STRINGS "${source}" hits REGEX "#[ \t]*include[ \t]*[<\"](Q[A-Za-z]|qt)|Q_OBJECT|Q_GADGET")
    if(hits)
        list(APPEND offenders "${source}: ${hits}")
    endif()
endforeach()
list(LENGTH sources checked)
if(checked EQUAL 0)
    message(FATAL_ERROR "no sources found under ${SOURCE_DIR}/mail and ${SOURCE_DIR}/platform")
endif()
if(offenders)
    string(REPLACE ";" "\n" report "${offenders}")
    message(FATAL_ERROR "Qt reached a Qt-free layer:\n${report}")
endif()
message(STATUS "${checked} files of mail/ and platform/ are free of Qt")
