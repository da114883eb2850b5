# SPDX-License-Identifier: GPL-3.0-or-later
# The ICC profiles in picture files; libtiff is read directly to check them independently.
find_package(TIFF REQUIRED)
vexmira_add_gtest(test_embeddedprofile SOURCES test_embeddedprofile.cpp
                  LIBS processing TIFF::TIFF)
