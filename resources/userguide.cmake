# SPDX-License-Identifier: GPL-3.0-or-later
# The User Guide: the README's sections on using the viewer, from "Using it:" up to the batch
# program's section, without pictures (they live beside the README, not in the program).
# Re-extracted whenever the README changes.
set(readme ${PROJECT_SOURCE_DIR}/README.md)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${readme})
file(READ ${readme} readme_text)
string(FIND "${readme_text}" "Using it:" guide_start)
string(FIND "${readme_text}" "## Without a window" guide_end)
if(guide_start EQUAL -1 OR guide_end LESS_EQUAL guide_start)
  message(FATAL_ERROR "README.md lacks the usage sections the User Guide is made from")
endif()
math(EXPR guide_length "${guide_end} - ${guide_start}")
string(SUBSTRING "${readme_text}" ${guide_start} ${guide_length} guide_text)
string(REGEX REPLACE "!\\[[^]\n]*\\]\\([^)\n]*\\)\n*" "" guide_text "${guide_text}")
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/guide/userguide.md "# Using Vexmira Viewer\n\n${guide_text}")
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/guide/guide.qrc
     "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/guide\">\n"
     "    <file>userguide.md</file>\n</qresource>\n</RCC>\n")
