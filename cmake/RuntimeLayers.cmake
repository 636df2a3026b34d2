# Fails the build when a file of the error-trap runtime includes against its stages:
# core includes nothing from trace, report, start-up or the dialog; the dialog works on the
# values it is given, not on the runtime (core/runtime.h) nor its trace or start-up; no
# file of the runtime includes wardline.h, the header for the programs that use the runtime;
# and the scheduler core (timetable) reaches no widget, no GUI header and nothing above it.
# Run as: cmake -DSOURCE_DIR=<src> -P RuntimeLayers.cmake
set(rules
  "errortrap/core|#include \"errortrap/(trace/|report/|dialog/|startup\\.h)"
  "errortrap/dialog|#include \"errortrap/(core/runtime\\.h|trace/|startup\\.h)"
  "errortrap|#include \"errortrap/wardline\\.h\""
  "timetable|#include [<\"](Qt(Widgets|Gui|DBus)|QWidget|QApplication|QGui|QIcon|QPixmap|QImage|QColor|QFont|QPalette|QPainter|QAction|app/|widgets/|errortrap/dialog/)"
)
set(failures "")
foreach(rule IN LISTS rules)
  string(FIND "${rule}" "|" bar)
  string(SUBSTRING "${rule}" 0 ${bar} folder)
  math(EXPR after "${bar} + 1")
  string(SUBSTRING "${rule}" ${after} -1 forbidden)
  file(GLOB_RECURSE files "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
  foreach(file IN LISTS files)
    file(STRINGS "${file}" lines REGEX "${forbidden}")
    foreach(line IN LISTS lines)
      file(RELATIVE_PATH name "${SOURCE_DIR}" "${file}")
      string(APPEND failures "  ${name}: ${line}\n")
    endforeach()
  endforeach()
endforeach()
if(failures)
  message(FATAL_ERROR "Includes against the runtime's stages:\n${failures}")
endif()
