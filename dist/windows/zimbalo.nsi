; zimbalo.nsi: the Windows installer. makensis gets VERSION, FILES (the
; unpacked zip's folder, as a Windows-style path), DATA (the include that
; windows.sh writes from data/files.txt) and OUTFILE with -D.
Unicode true
!include "${DATA}"
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

Name "Zimbalo"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Zimbalo"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "Zimbalo"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "Zimbalo installer"
VIAddVersionKey "LegalCopyright" "The Zimbalo developers, MIT License"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Zimbalo"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section
    SetShellVarContext all
    ; The files of the zip, by name, as the uninstaller removes them.
    SetOutPath "$INSTDIR\licences"
    File "${FILES}\licences\*.txt"
    SetOutPath "$INSTDIR"
    File "${FILES}\zimbalo.exe"
    File "${FILES}\*.dll"
    !insertmacro ZIMBALO_INSTALL_DATA
    File "${FILES}\LICENSE"
    File "${FILES}\README.txt"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    ; The game reads its data from its working directory: the shortcut
    ; starts it in $INSTDIR, the output path at this point. It is a console
    ; program: its console window, which it never writes to, starts
    ; minimised rather than over the game.
    CreateShortcut "$SMPROGRAMS\Zimbalo.lnk" "$INSTDIR\zimbalo.exe" "" "" "" SW_SHOWMINIMIZED
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Zimbalo"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Zimbalo developers"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    Delete "$SMPROGRAMS\Zimbalo.lnk"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    ; Everything the installer put there, and the two files SDL writes
    ; beside the program when the game had something to say.
    RMDir /r "$INSTDIR\licences"
    Delete "$INSTDIR\*.dll"
    Delete "$INSTDIR\zimbalo.exe"
    !insertmacro ZIMBALO_DELETE_DATA
    Delete "$INSTDIR\LICENSE"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\stdout.txt"
    Delete "$INSTDIR\stderr.txt"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
SectionEnd
