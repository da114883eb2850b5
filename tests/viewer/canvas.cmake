# SPDX-License-Identifier: GPL-3.0-or-later
vexmira_add_gtest(test_canvasgeometry SOURCES test_canvasgeometry.cpp test_commandrects.cpp
                  test_matrixshaper.cpp
                  LIBS viewer)
vexmira_add_qtest(test_canvas SOURCES test_canvas.cpp LIBS viewer)
