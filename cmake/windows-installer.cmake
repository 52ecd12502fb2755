# The Windows installer (NSIS) and the portable zip, made by CPack from the cross-build:
# zorv-video-converter-VERSION-win64.exe and .zip.
set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-win64)
# Backslashes and quotes below reach the NSIS script as written.
set(CPACK_VERBATIM_VARIABLES ON)

set(CPACK_NSIS_PACKAGE_NAME "Zorv Video Converter")
set(CPACK_NSIS_DISPLAY_NAME "Zorv Video Converter")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "ZorvTech\\Zorv Video Converter")
# The uninstall entry's name, also a key under Software\ZorvTech that the uninstaller deletes:
# never the program's own settings key, ZorvVideoConverter, where the temperature is kept.
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Zorv Video Converter")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MUI_ICON ${CMAKE_CURRENT_SOURCE_DIR}/src/app/zorv-video-converter.ico)
set(CPACK_NSIS_MUI_UNIICON ${CMAKE_CURRENT_SOURCE_DIR}/src/app/zorv-video-converter.ico)
set(CPACK_NSIS_INSTALLED_ICON_NAME zorv-video-converter.exe)
set(CPACK_NSIS_CONTACT ${ZORV_CONTACT})

set(CPACK_NSIS_CREATE_ICONS_EXTRA [=[
  CreateShortCut "$SMPROGRAMS\$STARTMENU_FOLDER\Zorv Video Converter.lnk" "$INSTDIR\zorv-video-converter.exe" "" "$INSTDIR\zorv-video-converter.exe" 0
]=])
# The vendor's folder and key go too once nothing else of the vendor's is in them; the user's
# stored temperature (HKCU) is not the installer's to remove.
set(CPACK_NSIS_DELETE_ICONS_EXTRA [=[
  Delete "$SMPROGRAMS\$MUI_TEMP\Zorv Video Converter.lnk"
  RMDir "$PROGRAMFILES64\ZorvTech"
  DeleteRegKey /ifempty SHCTX "Software\ZorvTech"
]=])

# "Open With" offers the program for the common video types, for the user who installs it or,
# in an administrator's install, for everyone; no type's default program is taken over.
set(ZORV_OPEN_WITH_KEY [=[Software\Classes\Applications\zorv-video-converter.exe]=])
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "
  WriteRegStr SHCTX \"${ZORV_OPEN_WITH_KEY}\" \"FriendlyAppName\" \"Zorv Video Converter\"
  WriteRegStr SHCTX \"${ZORV_OPEN_WITH_KEY}\\shell\\open\\command\" \"\" '\"$INSTDIR\\zorv-video-converter.exe\" \"%1\"'")
foreach(extension mp4 mkv mov avi webm m4v mpg mpeg ts wmv flv 3gp ogv)
    string(APPEND CPACK_NSIS_EXTRA_INSTALL_COMMANDS "
  WriteRegStr SHCTX \"${ZORV_OPEN_WITH_KEY}\\SupportedTypes\" \".${extension}\" \"\"")
endforeach()
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "
  DeleteRegKey SHCTX \"${ZORV_OPEN_WITH_KEY}\"")

# A 64-bit installer (Debian's NSIS makes 32-bit ones by default), with its own version
# information, and a finish page that says which converter the program uses.
if(ZORV_BUNDLED_FFMPEG)
    set(ZORV_FINISH_TEXT "Zorv Video Converter converts with the ffmpeg.exe installed beside it (see ffmpeg-README.txt in $INSTDIR).$\\r$\\n$\\r$\\nTo use another ffmpeg, put its ffmpeg.exe in the place of that one.")
else()
    set(ZORV_FINISH_TEXT "Zorv Video Converter converts with ffmpeg, which is not installed with it. The program looks for ffmpeg.exe in its own folder first, then on PATH, never in the current folder.$\\r$\\n$\\r$\\nGet a Windows build of ffmpeg, and put ffmpeg.exe into $\\r$\\n$INSTDIR$\\r$\\nor into a folder on PATH.")
endif()
set(ZORV_VERSION_QUAD ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
set(CPACK_NSIS_DEFINES "Target amd64-unicode
  VIProductVersion ${ZORV_VERSION_QUAD}
  VIFileVersion ${ZORV_VERSION_QUAD}
  VIAddVersionKey /LANG=1033 \"CompanyName\" \"ZorvTech\"
  VIAddVersionKey /LANG=1033 \"ProductName\" \"Zorv Video Converter\"
  VIAddVersionKey /LANG=1033 \"ProductVersion\" \"${PROJECT_VERSION}\"
  VIAddVersionKey /LANG=1033 \"FileVersion\" \"${PROJECT_VERSION}\"
  VIAddVersionKey /LANG=1033 \"FileDescription\" \"Zorv Video Converter Setup\"
  VIAddVersionKey /LANG=1033 \"LegalCopyright\" \"Copyright ${ZORV_COPYRIGHT}\"
  !define MUI_FINISHPAGE_TEXT \"${ZORV_FINISH_TEXT}\"")
