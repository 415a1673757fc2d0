# The test programs that make no pseudo-terminals of their own, cross-built
# for Windows, which has none. tst_com_ports uses COM ports that the Windows
# checks link to pseudo-terminals with peers on them.
add_library(quillon_test_support STATIC
    support/fake_port.h support/fake_port.cpp
    support/fake_dialogs.h
    support/drawn_colours.h support/drawn_colours.cpp)
target_include_directories(quillon_test_support PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(quillon_test_support PUBLIC quillon_ui Qt6::Test)

function(quillon_add_windows_test name)
    add_executable(${name} ${ARGN})
    target_link_libraries(${name} PRIVATE quillon_test_support Qt6::Test)
endfunction()

quillon_add_windows_test(tst_about about/tst_about.cpp)
quillon_add_windows_test(tst_settings_location app/tst_settings_location.cpp)
quillon_add_windows_test(tst_console console/tst_console.cpp)
quillon_add_windows_test(tst_modbus_frame modbus/tst_modbus_frame.cpp)
# Finds Qt's catalogue beside itself, as the programs do (scripts/build-windows.sh).
quillon_add_windows_test(tst_qt_texts platform/tst_qt_texts.cpp)
quillon_add_windows_test(tst_modbus_window modbus/tst_modbus_window.cpp)
quillon_add_windows_test(tst_xmodem transfer/tst_xmodem.cpp)
quillon_add_windows_test(tst_upload transfer/tst_upload.cpp support/upload_fakes.h)
quillon_add_windows_test(tst_windows_platform windows/tst_windows_platform.cpp)
# Real COM ports: skips unless the script has put peers on them.
quillon_add_windows_test(tst_com_ports windows/tst_com_ports.cpp)
target_link_libraries(tst_com_ports PRIVATE Qt6::SerialPort)
