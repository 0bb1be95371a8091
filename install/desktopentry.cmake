# Runs at install time (the prefix may be changed with "cmake --install
# --prefix"): writes the desktop entry with the launcher's full path.
# In: VMP_DESKTOP_TEMPLATE, VMP_DESKTOP_OUT, VMP_LAUNCHER.

# The desktop entry rules: an argument with reserved characters is quoted,
# and inside quotes ", `, $ and \ take a backslash; "%" is written "%%".
# Backslashes are then doubled once more, as in any string value.
set(exec "${VMP_LAUNCHER}")
string(REPLACE "%" "%%" exec "${exec}")
if(exec MATCHES "[^A-Za-z0-9/._+%-]")
  string(REPLACE "\\" "\\\\" exec "${exec}")
  string(REPLACE "\"" "\\\"" exec "${exec}")
  string(REPLACE "`" "\\`" exec "${exec}")
  string(REPLACE "$" "\\$" exec "${exec}")
  set(exec "\"${exec}\"")
endif()
string(REPLACE "\\" "\\\\" exec "${exec}")
set(VMP_EXEC "${exec}")
configure_file("${VMP_DESKTOP_TEMPLATE}" "${VMP_DESKTOP_OUT}" @ONLY)
