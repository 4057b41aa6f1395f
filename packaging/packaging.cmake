# The manual pages, the bash completion and the AppStream metadata, installed with the
# programs (scripts/package.sh builds the Debian package from this installation).

# The metadata offers the package for the FTDI cables the udev rule knows, so that software
# centres can suggest it when such a cable is plugged in.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/60-quorlink-ftdi.rules _rules
     REGEX "^SUBSYSTEM==\"usb\".*idProduct")
set(_lines "")
foreach(_rule ${_rules})
    string(REGEX MATCH "idVendor}==\"([0-9a-fA-F]+)\"" _ "${_rule}")
    string(TOUPPER "${CMAKE_MATCH_1}" _vendor)
    string(REGEX MATCH "idProduct}==\"([0-9a-fA-F|]+)\"" _ "${_rule}")
    string(REPLACE "|" ";" _products "${CMAKE_MATCH_1}")
    foreach(_product ${_products})
        string(TOUPPER ${_product} _product)
        list(APPEND _lines "    <modalias>usb:v${_vendor}p${_product}d*</modalias>")
    endforeach()
endforeach()
if(NOT _lines)
    message(FATAL_ERROR "60-quorlink-ftdi.rules: no USB vendor and product ids found")
endif()
list(REMOVE_DUPLICATES _lines)
list(JOIN _lines "\n" QUORLINK_MODALIASES)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${CMAKE_CURRENT_LIST_DIR}/60-quorlink-ftdi.rules)
configure_file(${CMAKE_CURRENT_LIST_DIR}/io.github.quorlink.Quorlink.metainfo.xml.in
               ${CMAKE_BINARY_DIR}/io.github.quorlink.Quorlink.metainfo.xml @ONLY)

install(FILES ${CMAKE_BINARY_DIR}/io.github.quorlink.Quorlink.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/quorlink.1 ${CMAKE_CURRENT_LIST_DIR}/quorlink-radio.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/quorlink.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME quorlink)
