# SPDX-License-Identifier: GPL-3.0-or-later
vexmira_add_qtest(test_scrollarea SOURCES test_scrollarea.cpp LIBS viewer)
