# SPDX-License-Identifier: GPL-3.0-or-later
vexmira_add_qtest(test_canvascorrections SOURCES test_canvascorrections.cpp LIBS viewer)
