; The Windows installer, made by tools/scripts/windows.sh with makensis:
;   makensis -NOCD -DVERSION=x.y.z -DFILES=build-windows -DOUTFILE=... -DICON=...
;            -DUPGRADE_CODE={...} -DCHECKS=lumo-installer-checks.dll lumo.nsi
;   (-DSIGN=tools/scripts/sign.sh signs the installer and the uninstaller)
; Installs ${FILES}/Lumo for every user of the machine, with a Start-menu
; entry and an uninstaller that removes exactly what was installed.
; Silent with /S, both ways. An earlier installation is found from the
; registry: its folder is used, and its own uninstaller removes its files
; first, so that nothing of the old version is left. While lumo.exe runs
; from the folder nothing is replaced: the silent installer ends with status 2.
; /COM1=NAME and /COM2=NAME set the ports for every user (HKLM\Software\Lumo\Lumo,
; key "ports"); an upgrade without them keeps the ones set before. A name is
; COM and a number (the DLL's IsPortName); anything else ends the installer
; with status 2 and a message, as do a newer version installed (no
; downgrade) and the MSI's installation (UPGRADE_CODE): the two never install
; beside each other. "/D=FOLDER" may be quoted. The
; uninstaller removes the ports; each user's own choice (HKCU) stays with
; the user.
;
; The uninstaller runs in place when given _?=FOLDER, as the uninstall entry
; calls it, and returns only when it is done: deployment tools wait for
; that. Without it NSIS starts a copy of it from %TEMP% and returns at once.
; Nothing in the folder is left for the next restart to delete: a later
; installation may have put its own files there by then.
Target amd64-unicode
SetCompressor /SOLID lzma
!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "WordFunc.nsh"

!ifdef SIGN
!finalize '"${SIGN}" "%1"'
!uninstfinalize '"${SIGN}" "%1"'
!endif

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Lumo"
!define PORTS_KEY "Software\Lumo\Lumo\ports"

Name "Lumo ${VERSION}"
BrandingText "Lumo ${VERSION}"
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
LangString BadPort ${LANG_ENGLISH} "$R1 is no port name: give COM and a number, such as /COM1=COM7."
LangString BadPort ${LANG_SIMPCHINESE} "$R1 不是端口名：请写 COM 加编号，例如 /COM1=COM7。"
LangString MsiInstalled ${LANG_ENGLISH} "Lumo is installed from its Windows Installer package (MSI). Remove it first, in Apps and Features or with: msiexec /x $1"
LangString MsiInstalled ${LANG_SIMPCHINESE} "Lumo 已由其 Windows Installer 安装包 (MSI) 安装。请先在“应用和功能”中删除它，或运行：msiexec /x $1"
LangString Newer ${LANG_ENGLISH} "Lumo $R4, newer than ${VERSION}, is installed in $previous. Remove it first (Apps and Features) to go back to ${VERSION}."
LangString Newer ${LANG_SIMPCHINESE} "$previous 中已安装较新的 Lumo $R4。若要换回 ${VERSION}，请先在“应用和功能”中删除它。"
LangString NotRemoved ${LANG_ENGLISH} "The earlier installation in $previous could not be removed (status $0)."
LangString NotRemoved ${LANG_SIMPCHINESE} "无法删除 $previous 中的旧版本（状态 $0）。"

Var previous ; the folder of an earlier installation, or empty
Var com1     ; the ports for every user, from the command line, or empty
Var com2

; Shows $0 (or, silent, writes it to the standard error where there is
; one) and ends the installer with status 2.
Function Refuse
    MessageBox MB_OK|MB_ICONSTOP $0 /SD IDOK
    System::Call 'kernel32::GetStdHandle(i -12) p .r1'
    FileWrite $1 "setup: $0$\r$\n"
    SetErrorLevel 2
    Quit
FunctionEnd

; Takes the first argument off $R0 into $R1, its quotes removed: a quoted
; "/D=C:\Apps\Lumo Test" is one argument, and the end of the one before.
Function NextArgument
    StrCpy $R1 ""
    StrCpy $2 0 ; 1 inside quotes
    ${Do}
        StrCpy $1 $R0 1
        ${If} $1 != " "
            ${Break}
        ${EndIf}
        StrCpy $R0 $R0 "" 1
    ${Loop}
    ${Do}
        StrCpy $1 $R0 1
        ${If} $1 == ""
            ${Break}
        ${ElseIf} $1 == " "
        ${AndIf} $2 == 0
            ${Break}
        ${EndIf}
        StrCpy $R0 $R0 "" 1
        ${If} $1 == '"'
            IntOp $2 1 - $2
        ${Else}
            StrCpy $R1 "$R1$1"
        ${EndIf}
    ${Loop}
FunctionEnd

; $R1 is "/COMn=VALUE": VALUE, if it is a port name; otherwise refused.
Function PortOption
    StrCpy $R2 $R1 "" 6
    System::Call '$PLUGINSDIR\checks::IsPortName(w R2) i .r0'
    ${If} $0 == 0
        StrCpy $0 "$(BadPort)"
        Call Refuse
    ${EndIf}
FunctionEnd

Function .onInit
    SetShellVarContext all
    SetRegView 64
    InitPluginsDir
    File "/oname=$PLUGINSDIR\checks.dll" "${CHECKS}"
    ${GetParameters} $R0
    ${Do}
        Call NextArgument
        StrCpy $3 $R1 6
        ${If} $3 == "/COM1="
            Call PortOption
            StrCpy $com1 $R2
        ${ElseIf} $3 == "/COM2="
            Call PortOption
            StrCpy $com2 $R2
        ${ElseIf} $R1 != ""
            StrCpy $3 $R1 3
            ${If} $3 == "/D="
                StrCpy $INSTDIR $R1 "" 3
            ${EndIf}
        ${EndIf}
    ${LoopUntil} $R0 == ""

    System::Call 'msi::MsiEnumRelatedProductsW(w "${UPGRADE_CODE}", i 0, i 0, w .r1) i .r0'
    ${If} $0 == 0
        StrCpy $0 "$(MsiInstalled)"
        Call Refuse
    ${EndIf}

    ; Where it was installed, whether or not its uninstaller is still there;
    ; a newer version stays.
    ReadRegStr $previous HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $previous != ""
        StrCpy $INSTDIR $previous
        ReadRegStr $R4 HKLM "${UNINSTALL_KEY}" "DisplayVersion"
        ${VersionCompare} $R4 "${VERSION}" $0
        ${If} $0 == 1
            StrCpy $0 "$(Newer)"
            Call Refuse
        ${EndIf}
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
    ${If} $com1 == ""
        ReadRegStr $com1 HKLM "${PORTS_KEY}" "COM1"
    ${EndIf}
    ${If} $com2 == ""
        ReadRegStr $com2 HKLM "${PORTS_KEY}" "COM2"
    ${EndIf}

    StrCpy $R9 $INSTDIR
    Call WaitUntilClosed
    ${If} $previous != ""
    ${AndIf} ${FileExists} "$previous\Uninstall.exe"
        ; Run from a copy, the old uninstaller deletes itself with the rest
        ; and leaves nothing in the folder for the next restart to delete.
        CopyFiles /SILENT "$previous\Uninstall.exe" "$PLUGINSDIR\previous-uninstall.exe"
        ExecWait '"$PLUGINSDIR\previous-uninstall.exe" /S _?=$previous' $0
        ${If} $0 != 0
            StrCpy $0 "$(NotRemoved)"
            Call Refuse
        ${EndIf}
        Delete "$previous\Uninstall.exe"
        RMDir "$previous"
    ${EndIf}

    SetOutPath "$INSTDIR"
    File /r "${FILES}/Lumo/*"
    WriteUninstaller "$INSTDIR\Uninstall.exe"
    CreateShortcut "$SMPROGRAMS\Lumo.lnk" "$INSTDIR\lumo.exe" "" "$INSTDIR\lumo.exe" 0
    ${If} $com1 != ""
        WriteRegStr HKLM "${PORTS_KEY}" "COM1" $com1
    ${EndIf}
    ${If} $com2 != ""
        WriteRegStr HKLM "${PORTS_KEY}" "COM2" $com2
    ${EndIf}
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Lumo"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Lumo developers"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "https://lumopanel.net/"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "HelpLink" "https://lumopanel.net/"
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

; Started as "COPY /CLEANUP _?=FOLDER" by an uninstaller that could not
; move itself out of FOLDER (Wine cannot): removes it once it has ended.
Function un.Cleanup
    StrCpy $1 0
    ${Do}
        Delete "$INSTDIR\Uninstall.exe"
        IntOp $1 $1 + 1
        ${If} $1 > 300 ; 30 s
        ${OrIfNot} ${FileExists} "$INSTDIR\Uninstall.exe"
            ${Break}
        ${EndIf}
        Sleep 100
    ${Loop}
    RMDir "$INSTDIR"
    Delete /REBOOTOK "$EXEPATH"
FunctionEnd

Function un.onInit
    SetShellVarContext all
    SetRegView 64
    ${un.GetParameters} $R0
    ClearErrors
    ${un.GetOptions} $R0 "/CLEANUP" $0
    ${IfNot} ${Errors}
        Call un.Cleanup
        Quit
    ${EndIf}
FunctionEnd

Section "Uninstall"
    StrCpy $R9 $INSTDIR
    Call un.WaitUntilClosed
    nsExec::ExecToLog 'netsh advfirewall firewall delete rule name="Lumo phone remote" program="$INSTDIR\lumo.exe"'
    Pop $0
    Delete "$SMPROGRAMS\Lumo.lnk"
    !include "${FILES}/uninstall-files.nsh"
    ; Run from a copy (an upgrade), the uninstaller is deleted here. Run in
    ; place (_?=), it moves itself out of the folder, to be deleted from
    ; there at the next restart; where it cannot, a copy of it deletes it
    ; once it has ended.
    Delete "$INSTDIR\Uninstall.exe"
    ${If} ${FileExists} "$INSTDIR\Uninstall.exe"
        GetTempFileName $0
        Delete $0
        ClearErrors
        Rename "$INSTDIR\Uninstall.exe" $0
        ${If} ${Errors}
            CopyFiles /SILENT "$EXEPATH" $0
            Exec '"$0" /CLEANUP _?=$INSTDIR'
        ${Else}
            Delete /REBOOTOK $0
        ${EndIf}
    ${EndIf}
    RMDir "$INSTDIR"
    DeleteRegValue HKLM "${PORTS_KEY}" "COM1"
    DeleteRegValue HKLM "${PORTS_KEY}" "COM2"
    DeleteRegKey /ifempty HKLM "${PORTS_KEY}"
    DeleteRegKey /ifempty HKLM "Software\Lumo\Lumo"
    DeleteRegKey /ifempty HKLM "Software\Lumo"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
