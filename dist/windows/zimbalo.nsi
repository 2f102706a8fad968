; zimbalo.nsi: the Windows installer. makensis gets VERSION, FILES (the
; unpacked zip's folder), LIST (the include that windows.sh writes with the
; zip's files by name), ICON and OUTFILE with -D.
;
; By default it installs for the player alone, in their own programs folder,
; with no administrator rights; /ALLUSERS installs for everyone in Program
; Files, and then needs them. The uninstaller removes the files installed,
; by name, and the folders made, once empty: nothing by pattern.
Unicode true
!include "${LIST}"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

Name "Zimbalo"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
InstallDir "$LOCALAPPDATA\Programs\Zimbalo"
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

Var ALL ; 1 for an install for all users

; Stops, with a line in a box unless silent, when the account is not an
; administrator's.
!macro ADMIN_ONLY what
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 != "Admin"
        MessageBox MB_OK|MB_ICONSTOP "${what} for all users needs an administrator." /SD IDOK
        SetErrorLevel 5
        Quit
    ${EndIf}
!macroend

Function .onInit
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/ALLUSERS" $1
    ${IfNot} ${Errors}
        !insertmacro ADMIN_ONLY "Installing Zimbalo"
        StrCpy $ALL 1
        ; Program Files, unless /D named a folder.
        ${If} $INSTDIR == "$LOCALAPPDATA\Programs\Zimbalo"
            StrCpy $INSTDIR "$PROGRAMFILES64\Zimbalo"
        ${EndIf}
        SetShellVarContext all
    ${EndIf}
FunctionEnd

; The game goes into a folder of its own: a folder chosen that already holds
; other files, and no earlier install of the game, gets a Zimbalo folder
; inside it, so that the uninstaller never meets what was there before.
Function OwnFolder
    ${If} ${FileExists} "$INSTDIR\zimbalo.exe"
        Return
    ${EndIf}
    FindFirst $0 $1 "$INSTDIR\*"
    ${DoWhile} $1 != ""
        ${If} $1 != "."
        ${AndIf} $1 != ".."
            StrCpy $INSTDIR "$INSTDIR\Zimbalo"
            ${Break}
        ${EndIf}
        FindNext $0 $1
    ${Loop}
    FindClose $0
FunctionEnd

Section
    Call OwnFolder
    ${If} $ALL == 1
        SetShellVarContext all
    ${EndIf}
    !insertmacro ZIMBALO_INSTALL_FILES
    WriteUninstaller "$INSTDIR\uninstall.exe"
    ; The game finds its data beside itself; the shortcut starts it there
    ; too. It is a console program: its console window, which it writes to
    ; only when it ends on an error, starts minimised rather than over the
    ; game.
    SetOutPath "$INSTDIR"
    CreateShortcut "$SMPROGRAMS\Zimbalo.lnk" "$INSTDIR\zimbalo.exe" "" "" "" SW_SHOWMINIMIZED
    ; The entry of the list of installed programs: HKLM for all users, HKCU
    ; for one (SHCTX follows SetShellVarContext).
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "Zimbalo"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\zimbalo.exe,0"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "The Zimbalo developers"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; An install for all users is the one whose HKLM entry names this folder.
Function un.onInit
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 == $INSTDIR
        !insertmacro ADMIN_ONLY "Uninstalling Zimbalo"
        StrCpy $ALL 1
        SetShellVarContext all
    ${EndIf}
FunctionEnd

Section "Uninstall"
    Delete "$SMPROGRAMS\Zimbalo.lnk"
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"
    ; The player's own list of programs, if this install was its first.
    ${If} $ALL != 1
        DeleteRegKey /ifempty HKCU "Software\Microsoft\Windows\CurrentVersion\Uninstall"
    ${EndIf}
    ; What the installer put there, and the line the game may have left
    ; beside itself when it could not go on.
    !insertmacro ZIMBALO_DELETE_FILES
    Delete "$INSTDIR\stderr.txt"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    ; The per-user programs folder, made by the install if it was the
    ; first, once empty.
    ${If} $INSTDIR == "$LOCALAPPDATA\Programs\Zimbalo"
        RMDir "$LOCALAPPDATA\Programs"
    ${EndIf}
SectionEnd
