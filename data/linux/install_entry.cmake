# Runs at install time, so the entry's Exec names the executable under the prefix actually
# installed to (cmake --install --prefix included) rather than the one configured.
#   QUILLMATE_TEMPLATE   the .desktop.in file
#   QUILLMATE_STAGING    a folder of the build tree for the configured entry
#   QUILLMATE_AUTOSTART  ON for the session autostart entry, OFF for the menu entry

set(exe "${CMAKE_INSTALL_PREFIX}/opt/quillmate/quillmate")
if(exe MATCHES "[\r\n]")
  message(FATAL_ERROR "A desktop entry cannot start a program whose path has a line break: ${exe}")
endif()

# Quoted when it has anything but plain path characters. Inside quotes ", `, $ and \ take a
# backslash, then every backslash is doubled once more as the entry's string values require.
if(exe MATCHES "^[A-Za-z0-9/._+%,:@=-]+$")
  set(QUILLMATE_EXEC "${exe}")
else()
  string(REPLACE "\\" "\\\\" QUILLMATE_EXEC "${exe}")
  string(REPLACE "\"" "\\\"" QUILLMATE_EXEC "${QUILLMATE_EXEC}")
  string(REPLACE "`" "\\`" QUILLMATE_EXEC "${QUILLMATE_EXEC}")
  string(REPLACE "$" "\\$" QUILLMATE_EXEC "${QUILLMATE_EXEC}")
  string(REPLACE "\\" "\\\\" QUILLMATE_EXEC "${QUILLMATE_EXEC}")
  set(QUILLMATE_EXEC "\"${QUILLMATE_EXEC}\"")
endif()
string(REPLACE "%" "%%" QUILLMATE_EXEC "${QUILLMATE_EXEC}")

if(QUILLMATE_AUTOSTART)
  # The XDG base directory rules ignore a relative XDG_CONFIG_HOME.
  set(config "$ENV{XDG_CONFIG_HOME}")
  if(NOT IS_ABSOLUTE "${config}")
    if("$ENV{HOME}" STREQUAL "")
      message(FATAL_ERROR "Neither XDG_CONFIG_HOME nor HOME is set: no place for the autostart entry")
    endif()
    set(config "$ENV{HOME}/.config")
  endif()
  set(destination "${config}/autostart")
else()
  set(destination "${CMAKE_INSTALL_PREFIX}/share/applications")
endif()

file(READ "${QUILLMATE_TEMPLATE}" entry)
string(CONFIGURE "${entry}" entry @ONLY)
if(QUILLMATE_AUTOSTART)
  string(APPEND entry "X-GNOME-Autostart-enabled=true\n")
endif()
get_filename_component(name "${QUILLMATE_TEMPLATE}" NAME)
string(REGEX REPLACE "\\.in$" "" name "${name}")
# One staging folder per prefix: installs into two prefixes at once must not share the file.
string(SHA1 tag "${CMAKE_INSTALL_PREFIX}")
set(staged "${QUILLMATE_STAGING}/${tag}/${name}")
file(WRITE "${staged}" "${entry}")
# file(INSTALL) adds DESTDIR, reports the file and records it in the install manifest.
file(INSTALL DESTINATION "${destination}" TYPE FILE FILES "${staged}")
