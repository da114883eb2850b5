# SPDX-License-Identifier: GPL-3.0-or-later
vexmira_add_gtest(test_squarewarp SOURCES test_squarewarp.cpp LIBS processing)
vexmira_add_gtest(test_shadingcorrection SOURCES test_shadingcorrection.cpp LIBS processing)
vexmira_add_gtest(test_floatshadingcorrection SOURCES test_floatshadingcorrection.cpp LIBS processing)
