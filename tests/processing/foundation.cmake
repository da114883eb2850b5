# SPDX-License-Identifier: GPL-3.0-or-later
vexmira_add_gtest(test_store SOURCES test_store.cpp LIBS processing)
vexmira_add_gtest(test_matconversion SOURCES test_matconversion.cpp LIBS processing)
vexmira_add_gtest(test_imagefiles SOURCES test_imagefiles.cpp LIBS processing)
vexmira_add_gtest(test_readouttext SOURCES test_readouttext.cpp LIBS processing)
vexmira_add_gtest(test_labmeasurement SOURCES test_labmeasurement.cpp test_colourdifference.cpp
                  LIBS processing)
vexmira_add_gtest(test_atomicwrite SOURCES test_atomicwrite.cpp LIBS processing)
vexmira_add_gtest(test_picturesizelimit SOURCES test_picturesizelimit.cpp LIBS processing)
vexmira_add_gtest(test_colourprofile SOURCES test_colourprofile.cpp test_iccmeasurement.cpp
                  test_profilelabtransforms.cpp
                  LIBS processing)
