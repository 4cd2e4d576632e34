# Draws the preview pictures of the three gauges with panelhost.
# cmake -DPANELHOST=... -DDIST_DIR=... -DOUT_DIR=... -P previews.cmake
foreach(var PANELHOST DIST_DIR OUT_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "previews.cmake: ${var} is not set")
  endif()
endforeach()
file(MAKE_DIRECTORY "${OUT_DIR}")

# Nothing to do when the last drawing is newer than everything it comes from.
set(stamp "${OUT_DIR}/.drawn")
set(up_to_date TRUE)
foreach(input "${PANELHOST}" "${CMAKE_CURRENT_LIST_FILE}" "${DIST_DIR}/QV_VornVA.gau"
              "${DIST_DIR}/QV_Vorn_GearCtrls.gau" "${DIST_DIR}/QV_VornGenerWng.gau")
  if(NOT EXISTS "${stamp}" OR "${input}" IS_NEWER_THAN "${stamp}")
    set(up_to_date FALSE)
  endif()
endforeach()
if(up_to_date)
  return()
endif()
file(REMOVE "${stamp}")
# An empty library folder: previews never depend on a sound library being found.
set(no_libs "${OUT_DIR}/.no-libraries")
file(MAKE_DIRECTORY "${no_libs}")

function(panelhost)
  execute_process(COMMAND "${PANELHOST}" ${ARGN} --library-dir "${no_libs}"
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "panelhost ${ARGN} failed (${rc}):\n${out}${err}")
  endif()
endfunction()

# Volts-amperes meter: volts 0, 20 and 40 with the gate open and shut, the
# amps needle at -20, 0 and 60 alongside.
set(va "${DIST_DIR}/QV_VornVA.gau")
foreach(pair "0;-20" "20;0" "40;60")
  list(GET pair 0 volts)
  list(GET pair 1 amps)
  panelhost(run "${va}" --set 566=1 --set 364=0 --set 752=${volts} --set 762=${amps}
            --png "${OUT_DIR}/va_volts${volts}_amps${amps}_gate_open.png")
  panelhost(run "${va}" --set 566=0 --set 364=0 --set 752=${volts} --set 762=${amps}
            --png "${OUT_DIR}/va_volts${volts}_amps${amps}_gate_shut.png")
endforeach()
panelhost(sweep "${va}" --token 752 --from 0 --to 40 --steps 9 --set 566=1
          --out "${OUT_DIR}/va_volts_sweep.png")
panelhost(sweep "${va}" --token 762 --from -20 --to 60 --steps 9
          --out "${OUT_DIR}/va_amps_sweep.png")

# Gear lamps: every state of each window (red below 15000, none at exactly
# 15000 or NaN, green above), left and right together.
set(gear "${DIST_DIR}/QV_Vorn_GearCtrls.gau")
foreach(left "red;0" "off;15000" "green;15001")
  list(GET left 0 left_name)
  list(GET left 1 left_value)
  foreach(right "red;0" "off;15000" "green;15001")
    list(GET right 0 right_name)
    list(GET right 1 right_value)
    panelhost(run "${gear}" --set 333=${left_value} --set 334=${right_value}
              --png "${OUT_DIR}/gear_left_${left_name}_right_${right_name}.png")
  endforeach()
endforeach()
panelhost(run "${gear}" --set 333=nan --set 334=nan --png "${OUT_DIR}/gear_left_nan_right_nan.png")

# Generator lamp: dark (566 = 1) and lit (566 = 0).
set(gen "${DIST_DIR}/QV_VornGenerWng.gau")
panelhost(run "${gen}" --set 566=1 --png "${OUT_DIR}/generator_dark.png")
panelhost(run "${gen}" --set 566=0 --png "${OUT_DIR}/generator_lit.png")

file(TOUCH "${stamp}")
message(STATUS "Drew the gauge previews into ${OUT_DIR}")
