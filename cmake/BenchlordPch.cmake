# Precompiled headers: the standard, Qt and GoogleTest headers that nearly every source includes
# are parsed once per group of targets instead of once per source (a Qt widget source spends
# about three quarters of its compile time in them). Four headers are made, each by the first
# target of its group; the others reuse it, which GCC accepts because their extra definitions
# (BENCHLORD_HAVE_XLSXWRITER, QT_NETWORK_LIB, ...) appear in none of these headers.
# -DBENCHLORD_PCH=OFF builds without them.
option(BENCHLORD_PCH "Use precompiled headers" ON)

set(BENCHLORD_PCH_CORE
    <algorithm> <array> <atomic> <chrono> <cstdint> <cstdio> <cstring> <deque> <functional>
    <memory> <mutex> <optional> <string> <vector>
    <QByteArray> <QCoreApplication> <QDateTime> <QDir> <QFile> <QFileInfo> <QObject> <QString>
    <QStringList> <QTimer>)
set(BENCHLORD_PCH_WIDGETS
    <QApplication> <QCheckBox> <QComboBox> <QImage> <QLabel> <QMouseEvent> <QPainter>
    <QPushButton> <QVBoxLayout> <QWidget>)
set(BENCHLORD_PCH_TESTS <gtest/gtest.h> <QTemporaryDir>)

# benchlord_pch(KIND first-target [other-targets...]): KIND is core, widgets, tests_core or
# tests_widgets.
function(benchlord_pch kind first)
    if(NOT BENCHLORD_PCH)
        return()
    endif()
    set(headers ${BENCHLORD_PCH_CORE})
    if(kind MATCHES "widgets")
        list(APPEND headers ${BENCHLORD_PCH_WIDGETS})
    endif()
    if(kind MATCHES "^tests")
        list(APPEND headers ${BENCHLORD_PCH_TESTS})
    endif()
    target_precompile_headers(${first} PRIVATE ${headers})
    foreach(other ${ARGN})
        if(TARGET ${other})
            target_precompile_headers(${other} REUSE_FROM ${first})
        endif()
    endforeach()
endfunction()

# ccache takes precompiled headers only with these sloppiness settings (they let it ignore the
# header's time stamps and the __TIME__/__DATE__ macros); they are given to the compiler launcher
# here, so every build of this tree has them and the user's ccache configuration stays as it is.
macro(benchlord_ccache_for_pch)
    if(BENCHLORD_PCH AND CMAKE_CXX_COMPILER_LAUNCHER MATCHES "(^|[/;])ccache$")
        execute_process(COMMAND ${CMAKE_CXX_COMPILER_LAUNCHER} --get-config sloppiness
                        OUTPUT_VARIABLE sloppiness OUTPUT_STRIP_TRAILING_WHITESPACE
                        ERROR_QUIET)
        set(sloppiness "${sloppiness},pch_defines,time_macros,include_file_mtime,include_file_ctime")
        string(REGEX REPLACE "^,|[ ]" "" sloppiness "${sloppiness}")
        set(CMAKE_CXX_COMPILER_LAUNCHER env "CCACHE_SLOPPINESS=${sloppiness}"
            ${CMAKE_CXX_COMPILER_LAUNCHER})
    endif()
endmacro()
