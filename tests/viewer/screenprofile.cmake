# SPDX-License-Identifier: GPL-3.0-or-later
# The monitor profile a colour manager puts on the root window, on a virtual X server.
add_executable(test_screenprofile test_screenprofile.cpp)
target_link_libraries(test_screenprofile PRIVATE viewer Qt6::Test PkgConfig::XCB)
vexmira_configure_target(test_screenprofile)
find_program(XVFB_RUN xvfb-run REQUIRED)
add_test(NAME screen_profile_under_xvfb
         COMMAND ${XVFB_RUN} -a env QT_QPA_PLATFORM=xcb $<TARGET_FILE:test_screenprofile>)
set_tests_properties(screen_profile_under_xvfb PROPERTIES TIMEOUT 120)
