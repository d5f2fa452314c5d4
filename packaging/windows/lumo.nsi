; The Windows installer, made by tools/scripts/windows.sh with makensis:
;   makensis -NOCD -DVERSION=x.y.z -DFILES=build-windows -DOUTFILE=... -DICON=... lumo.nsi
;   (-DSIGN=tools/scripts/sign.sh signs the installer and the uninstaller)
; Installs ${FILES}/Lumo for every user of the machine, with a Start-menu
; entry and an uninstaller that removes exactly what was installed.
; Silent with /S, both ways. An earlier installation is found from the
; registry: its folder is used, and its own uninstaller removes its files
; first, so that nothing of the old version is left. While lumo.exe runs
; from the folder nothing is replaced: the silent installer ends with status 2.
; /COM1=NAME and /COM2=NAME set the ports for every user (HKLM\Software\Lumo\Lumo,
; key "ports"); an upgrade without them keeps the ones set before. The
; uninstaller removes them; each user's own choice (HKCU) stays with the user.
;
; The uninstaller runs in place when given _?=FOLDER, as the uninstall entry
; calls it, and returns only when it is done: deployment tools wait for
; that. Without it NSIS starts a copy of it from %TEMP% and returns at once.
Target amd64-unicode
SetCompressor /SOLID lzma
!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"

!ifdef SIGN
!finalize '"${SIGN}" "%1"'
!uninstfinalize '"${SIGN}" "%1"'
!endif

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Lumo"
!define PORTS_KEY "Software\Lumo\Lumo\ports"

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

LangString Running ${LANG_ENGLISH} "Lumo is running from $R9. Close it, then choose Retry."
LangString Running ${LANG_SIMPCHINESE} "Lumo 正在从 $R9 运行。请先关闭它，然后选择“重试”。"

Var previous ; the folder of an earlier installation, or empty

Function .onInit
    SetShellVarContext all
    SetRegView 64
    ReadRegStr $previous HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $previous != ""
    ${AndIf} ${FileExists} "$previous\Uninstall.exe"
        StrCpy $INSTDIR $previous
    ${Else}
        StrCpy $previous ""
    ${EndIf}
FunctionEnd

; Waits until no program runs from the folder $R9: a running program
; cannot be opened for writing. Silent: ends with status 2.
!macro WaitUntilClosed un
Function ${un}IsRunning ; $R8: a program; $0 is 1 while it runs
    StrCpy $0 ""
    ${If} ${FileExists} $R8
        ClearErrors
        FileOpen $1 $R8 a
        ${If} ${Errors}
            StrCpy $0 1
        ${Else}
            FileClose $1
        ${EndIf}
    ${EndIf}
FunctionEnd

Function ${un}WaitUntilClosed
    ${Do}
        StrCpy $R8 "$R9\lumo.exe"
        Call ${un}IsRunning
        ${If} $0 == ""
            StrCpy $R8 "$R9\lumo.com"
            Call ${un}IsRunning
        ${EndIf}
        ${If} $0 == ""
            Return
        ${EndIf}
        IfSilent 0 +3
            SetErrorLevel 2
            Quit
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(Running)" IDRETRY +3
            SetErrorLevel 2
            Quit
    ${Loop}
FunctionEnd
!macroend
!insertmacro WaitUntilClosed ""
!insertmacro WaitUntilClosed "un."

Section "Lumo"
    ; The ports for every user: from the command line, else as set before.
    ${GetParameters} $R0
    ReadRegStr $R1 HKLM "${PORTS_KEY}" "COM1"
    ReadRegStr $R2 HKLM "${PORTS_KEY}" "COM2"
    ClearErrors
    ${GetOptions} $R0 "/COM1=" $R3
    ${IfNot} ${Errors}
        StrCpy $R1 $R3
    ${EndIf}
    ClearErrors
    ${GetOptions} $R0 "/COM2=" $R3
    ${IfNot} ${Errors}
        StrCpy $R2 $R3
    ${EndIf}

    StrCpy $R9 $INSTDIR
    Call WaitUntilClosed
    ${If} $previous != ""
        StrCpy $R9 $previous
        Call WaitUntilClosed
        ExecWait '"$previous\Uninstall.exe" /S _?=$previous' $0
        ${If} $0 != 0
            IfSilent 0 +2
                SetErrorLevel 2
            Abort
        ${EndIf}
        ; Run in place, the old uninstaller leaves itself behind.
        Delete "$previous\Uninstall.exe"
        RMDir "$previous"
    ${EndIf}

    SetOutPath "$INSTDIR"
    File /r "${FILES}/Lumo/*"
    WriteUninstaller "$INSTDIR\Uninstall.exe"
    CreateShortcut "$SMPROGRAMS\Lumo.lnk" "$INSTDIR\lumo.exe" "" "$INSTDIR\lumo.exe" 0
    ${If} $R1 != ""
        WriteRegStr HKLM "${PORTS_KEY}" "COM1" $R1
    ${EndIf}
    ${If} $R2 != ""
        WriteRegStr HKLM "${PORTS_KEY}" "COM2" $R2
    ${EndIf}
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Lumo"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Lumo developers"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\lumo.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe" _?=$INSTDIR'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S _?=$INSTDIR'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    IntFmt $0 "0x%08X" $0
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
    ; Phones on the room's network reach the panel's remote (a private
    ; network only; the remote is off until the user switches it on). An
    ; upgrade replaces the rule rather than adding a second one.
    nsExec::ExecToLog 'netsh advfirewall firewall delete rule name="Lumo phone remote" program="$INSTDIR\lumo.exe"'
    Pop $0
    nsExec::ExecToLog 'netsh advfirewall firewall add rule name="Lumo phone remote" dir=in action=allow protocol=TCP program="$INSTDIR\lumo.exe" profile=private enable=yes'
    Pop $0
SectionEnd

Function un.onInit
    SetShellVarContext all
    SetRegView 64
FunctionEnd

Section "Uninstall"
    StrCpy $R9 $INSTDIR
    Call un.WaitUntilClosed
    nsExec::ExecToLog 'netsh advfirewall firewall delete rule name="Lumo phone remote" program="$INSTDIR\lumo.exe"'
    Pop $0
    Delete "$SMPROGRAMS\Lumo.lnk"
    !include "${FILES}/uninstall-files.nsh"
    ; Run in place (_?=), the uninstaller cannot delete itself but can move
    ; itself out of the folder; Windows removes it at the next start.
    GetTempFileName $0
    Delete $0
    ClearErrors
    Rename "$INSTDIR\Uninstall.exe" $0
    ${If} ${Errors}
        Delete /REBOOTOK "$INSTDIR\Uninstall.exe"
    ${Else}
        Delete /REBOOTOK $0
    ${EndIf}
    RMDir "$INSTDIR"
    DeleteRegValue HKLM "${PORTS_KEY}" "COM1"
    DeleteRegValue HKLM "${PORTS_KEY}" "COM2"
    DeleteRegKey /ifempty HKLM "${PORTS_KEY}"
    DeleteRegKey /ifempty HKLM "Software\Lumo\Lumo"
    DeleteRegKey /ifempty HKLM "Software\Lumo"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
