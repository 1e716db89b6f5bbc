# The Wine cases, one row each: where the class is served (none; inproc: InprocServer32;
# service: LocalServer32 and the AppID's LocalService, as the real service is reached;
# local_server: LocalServer32 alone), whether its objects refuse the interface, the program's
# simulation variable as NAME=VALUE (UNSET: none), then the exit status, stdout and stderr, and
# the server's log ("-": the server never ran).
set(out_passed "=== passed all tests (aesm)\r\n")
set(out_skipped "=== Skipped unsupported test in simulation mode (aesm)\r\n")
set(err_failed "aesm: failed to connect\r\n")
set(log_inproc "dll asked for its class\nobject created\nobject released\n\
dll detached by unload, live 0\n")
set(log_inproc_refusing "dll asked for its class\nobject created, refusing the interface\n\
object released\ndll detached by unload, live 0\n")
set(log_served "object created\nobject released\nclass revoked, live 0\nexited\n")
set(log_refusing "object created, refusing the interface\nobject released\n\
class revoked, live 0\nexited\n")

#         name                  server       objects  simulation              status stdout err log
wine_case(skipped_in_simulation service      serve    VELM_SIMULATION=1       2 "${out_skipped}" ""
          "-")
wine_case(fails_unregistered    none         serve    UNSET                   1 "" "${err_failed}"
          "-")
wine_case(passes_inproc         inproc       serve    UNSET                   0 "${out_passed}" ""
          "${log_inproc}")
wine_case(fails_inproc_refusing inproc       refuse   UNSET                   1 "" "${err_failed}"
          "${log_inproc_refusing}")
wine_case(passes_service        service      serve    UNSET                   0 "${out_passed}" ""
          "started as a service\n${log_served}")
wine_case(fails_service_refusing service     refuse   UNSET                   1 "" "${err_failed}"
          "started as a service\n${log_refusing}")
wine_case(passes_local_server   local_server serve    UNSET                   0 "${out_passed}" ""
          "started by COM\n${log_served}")
# Windows matches a variable's name without regard to case.
wine_case(skipped_lowercase_name service     serve    velm_simulation=1       2 "${out_skipped}" ""
          "-")
# Look-alikes of "1" and of the name (fullwidth one U+FF11, subscript one U+2081, fullwidth low
# line U+FF3F) probe: the value's own characters reach the comparison, not what an ANSI code
# page folds them to.
wine_case(passes_fullwidth_one  inproc       serve    VELM_SIMULATION=１       0 "${out_passed}" ""
          "${log_inproc}")
wine_case(passes_subscript_one  inproc       serve    VELM_SIMULATION=₁       0 "${out_passed}" ""
          "${log_inproc}")
wine_case(passes_fullwidth_name inproc       serve    VELM＿SIMULATION=1       0 "${out_passed}" ""
          "${log_inproc}")
