# solvane_install_configured(TEMPLATE DESTINATION COMPONENT)
# Installs TEMPLATE (without its .in) into DESTINATION, filling in @BINDIR@,
# @LIBEXECDIR@ and @DOCDIR@ when it is installed rather than when the project is
# configured: a unit then names the programs where they really went, under
# `cmake --install --prefix` and in the packages alike.
function(solvane_install_configured template destination component)
  get_filename_component(name "${template}" NAME_WLE)
  install(CODE "
    set(BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    set(LIBEXECDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBEXECDIR}\")
    set(DOCDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATAROOTDIR}/doc\")
    set(installed \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${destination}/${name}\")
    message(STATUS \"Installing: \${installed}\")
    configure_file(\"${template}\" \"\${installed}\" @ONLY)
  " COMPONENT ${component})
endfunction()
