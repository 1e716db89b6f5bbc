# The Wine suite's prefix, made at build time (cmake -P): a fresh private prefix with the
# interface's proxy/stub, the class's AppID and the test service registered.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/wine_common.cmake)

if(EXISTS "${PREFIX}")
  end_wineserver()
  file(REMOVE_RECURSE "${PREFIX}")
endif()
# Not -i: on a new prefix that starts a second services.exe beside the one the update starts.
run_wine(wineboot wineboot -u)
# Registration waits for everything the boot started to end, then the server is kept up between
# its commands for 15 s.
execute_process(COMMAND ${WINESERVER} -w TIMEOUT 30)
execute_process(COMMAND ${WINESERVER} -p15 OUTPUT_FILE "${PREFIX}.wineserver.log"
                ERROR_FILE "${PREFIX}.wineserver.log" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "wineserver -p15 gave ${result}")
endif()

windows_path(proxy_stub "${PROXY_STUB}")
reg_string(proxy_stub "${proxy_stub}")
# No graphics driver: Wine's would look for a display, and say on a program's stderr that it has
# none.
import_reg(register "\
[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]
\"Graphics\"=\"null\"

[HKEY_CLASSES_ROOT\\Interface\\${WINE_IID}\\ProxyStubClsid32]
@=\"${WINE_IID}\"

[HKEY_CLASSES_ROOT\\CLSID\\${WINE_IID}\\InprocServer32]
@=${proxy_stub}
\"ThreadingModel\"=\"Both\"

[HKEY_CLASSES_ROOT\\AppID\\${WINE_APPID}]
\"LocalService\"=\"${WINE_SERVICE_NAME}\"
")
windows_path(service "${SERVICE}")
run_wine(sc sc create ${WINE_SERVICE_NAME} binpath= "${service}" type= own start= demand)
# The session ends here: its server writes the registry to disk as it exits. Left running, it
# could be killed first (with a sandbox that ends, say), and the prefix would lose all of the
# above.
end_wineserver()
