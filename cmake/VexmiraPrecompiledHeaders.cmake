# SPDX-License-Identifier: GPL-3.0-or-later
# Headers compiled once per kind of target and reused by every target of that kind: parsing Qt,
# OpenCV and the test frameworks is most of the time each source file takes to compile.

option(VEXMIRA_PRECOMPILE_HEADERS "Compile the Qt, OpenCV and test framework headers once" ON)

set(VEXMIRA_CORE_HEADERS
    <QByteArray> <QCoreApplication> <QDir> <QFile> <QFileInfo> <QImage> <QObject> <QSettings>
    <QString> <QStringList> <QTemporaryDir> <QTimer>
    <opencv2/core.hpp> <opencv2/imgcodecs.hpp> <opencv2/imgproc.hpp> <lcms2.h>
    <algorithm> <array> <cmath> <cstdint> <functional> <map> <memory> <mutex> <optional>
    <string> <vector>)
set(VEXMIRA_WIDGETS_HEADERS
    ${VEXMIRA_CORE_HEADERS}
    <QAction> <QApplication> <QCheckBox> <QComboBox> <QDialog> <QDockWidget> <QLabel>
    <QMainWindow> <QMessageBox> <QPainter> <QPointer> <QPushButton> <QVBoxLayout> <QWidget>)

# Qt Test defines its build and source folder per target; the tests never look files up
# through them, and without them one precompiled header serves every Qt Test program.
set(VEXMIRA_QTEST_OPTIONS -UQT_TESTCASE_BUILDDIR -UQT_TESTCASE_SOURCEDIR)

# vexmira_precompile_headers(<kind> HEADERS <header>... LIBS <library>... [OPTIONS <option>...])
# A target of its own compiles the kind's headers with the flags, definitions and libraries
# that the targets reusing them have.
function(vexmira_precompile_headers kind)
  cmake_parse_arguments(ARG "" "" "HEADERS;LIBS;OPTIONS" ${ARGN})
  set_property(GLOBAL PROPERTY VEXMIRA_PRECOMPILED_${kind}_LIBS ${ARG_LIBS})
  if(NOT VEXMIRA_PRECOMPILE_HEADERS)
    return()
  endif()
  set(source ${CMAKE_CURRENT_BINARY_DIR}/precompiled_${kind}.cpp)
  file(CONFIGURE OUTPUT ${source} CONTENT "// Compiles the ${kind} headers.\n")
  add_library(precompiled_${kind} OBJECT ${source})
  set_target_properties(precompiled_${kind} PROPERTIES AUTOMOC OFF)
  target_link_libraries(precompiled_${kind} PRIVATE ${ARG_LIBS})
  target_compile_options(precompiled_${kind} PRIVATE ${ARG_OPTIONS})
  vexmira_configure_target(precompiled_${kind})
  target_precompile_headers(precompiled_${kind} PRIVATE ${ARG_HEADERS})
endfunction()

# Builds <target>, whose own options match the kind's, with the headers of <kind>; it links the
# kind's libraries for their include folders and definitions. gcc warns and parses the headers
# afresh should the flags ever differ.
function(vexmira_use_precompiled_headers target kind)
  get_property(libs GLOBAL PROPERTY VEXMIRA_PRECOMPILED_${kind}_LIBS)
  target_link_libraries(${target} PRIVATE ${libs})
  if(VEXMIRA_PRECOMPILE_HEADERS)
    target_precompile_headers(${target} REUSE_FROM precompiled_${kind})
    target_compile_options(${target} PRIVATE -Winvalid-pch)
  endif()
endfunction()
