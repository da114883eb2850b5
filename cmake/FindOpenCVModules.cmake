# SPDX-License-Identifier: GPL-3.0-or-later
# Finds the OpenCV 4 modules the project uses (core, imgproc, imgcodecs; calib3d for fitting
# homographies, and the contrib chart detector mcc with the dnn module it rests on). Debian ships OpenCV's CMake package only with
# the full libopencv-dev, which we do not need.
find_path(OpenCVModules_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4)

set(_vexmira_opencv_libraries)
foreach(module core imgproc imgcodecs calib3d dnn mcc)
  find_library(OpenCVModules_${module}_LIBRARY opencv_${module})
  list(APPEND _vexmira_opencv_libraries OpenCVModules_${module}_LIBRARY)
endforeach()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(OpenCVModules REQUIRED_VARS OpenCVModules_INCLUDE_DIR
                                                              ${_vexmira_opencv_libraries})

if(OpenCVModules_FOUND)
  foreach(module core imgproc imgcodecs calib3d dnn mcc)
    if(NOT TARGET OpenCV::${module})
      add_library(OpenCV::${module} UNKNOWN IMPORTED)
      set_target_properties(OpenCV::${module} PROPERTIES
        IMPORTED_LOCATION "${OpenCVModules_${module}_LIBRARY}"
        INTERFACE_INCLUDE_DIRECTORIES "${OpenCVModules_INCLUDE_DIR}")
    endif()
  endforeach()
  set_property(TARGET OpenCV::imgproc APPEND PROPERTY INTERFACE_LINK_LIBRARIES OpenCV::core)
  set_property(TARGET OpenCV::imgcodecs APPEND PROPERTY INTERFACE_LINK_LIBRARIES OpenCV::imgproc)
  set_property(TARGET OpenCV::calib3d APPEND PROPERTY INTERFACE_LINK_LIBRARIES OpenCV::imgproc)
  set_property(TARGET OpenCV::dnn APPEND PROPERTY INTERFACE_LINK_LIBRARIES OpenCV::imgproc)
  set_property(TARGET OpenCV::mcc APPEND PROPERTY INTERFACE_LINK_LIBRARIES OpenCV::dnn)
endif()
