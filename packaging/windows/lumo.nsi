; The Windows installer, made by tools/scripts/windows.sh with makensis:
;   makensis -NOCD -DVERSION=x.y.z -DFILES=build-windows -DOUTFILE=... -DICON=... lumo.nsi
; Installs ${FILES}/Lumo for every user of the machine, with a Start-menu
; entry and an uninstaller that removes exactly what was installed.
; Silent with /S, both ways.
; 64-bit like the program: it installs where 64-bit programs go.
Target amd64-unicode
SetCompressor /SOLID lzma
!include "MUI2.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Lumo"

Name "Lumo ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Lumo"
RequestExecutionLevel admin
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "Lumo"
VIAddVersionKey /LANG=1033 "FileDescription" "Lumo installer"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "CompanyName" "The Lumo developers"
VIAddVersionKey /LANG=1033 "LegalCopyright" "The Lumo developers"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "SimpChinese"

Function .onInit
    SetShellVarContext all
    SetRegView 64
FunctionEnd

Function un.onInit
    SetShellVarContext all
    SetRegView 64
FunctionEnd

Section "Lumo"
    SetOutPath "$INSTDIR"
    File /r "${FILES}/Lumo/*"
    WriteUninstaller "$INSTDIR\Uninstall.exe"
    CreateShortcut "$SMPROGRAMS\Lumo.lnk" "$INSTDIR\lumo.exe" "" "$INSTDIR\lumo.exe" 0
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Lumo"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Lumo developers"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\lumo.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ; Phones on the room's network reach the panel's remote (a private
    ; network only; the remote is off until the user switches it on).
    nsExec::ExecToLog 'netsh advfirewall firewall add rule name="Lumo phone remote" dir=in action=allow protocol=TCP program="$INSTDIR\lumo.exe" profile=private enable=yes'
    Pop $0
SectionEnd

Section "Uninstall"
    nsExec::ExecToLog 'netsh advfirewall firewall delete rule name="Lumo phone remote" program="$INSTDIR\lumo.exe"'
    Pop $0
    Delete "$SMPROGRAMS\Lumo.lnk"
    !include "${FILES}/uninstall-files.nsh"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
