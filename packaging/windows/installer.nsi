; The technician's installer, in Portuguese. Built by the Windows build with
; Debian's makensis:
;   makensis -DVERSION=1.0.4 -DFILES=bundle-files.nsh -DICON=app.ico -DOUTFILE=setup.exe
;            [-DHELP_TELEPHONE="(11) ..."] [-DSIGN="command with %1"] installer.nsi
;
; By default it installs for the user who runs it and needs no administrator:
; %LOCALAPPDATA%\Programs\Bootloader Wizard, that user's Start menu and an
; uninstall entry under HKCU. For every user of the PC it installs into
; Program Files with the entry under HKLM, and asks for an administrator
; (Windows' prompt) when it is not one already. The default is the kind that
; is installed already, else per-user; a page lets the technician choose, and
; /CurrentUser or /AllUsers (the switches of NSIS's MultiUser.nsh) decide
; from the command line. /S installs and uninstalls silently; /D=folder
; (last) picks another folder.
;
; Exit codes: 0 done, 1 cancelled, 2 failed (no administrator given for a
; per-machine install, the previous version could not be removed),
; 3 refused because the wizard or bootloader-cli runs.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include "MUI2.nsh"
!include "x64.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "nsDialogs.nsh"

!define PRODUCT "Bootloader Wizard"
!define PUBLISHER "The Bootloader Wizard developers"
; The Start-menu entry of the bench's console.
!define BENCH "Bancada"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\BootloaderWizard"
; Held by bootloader-wizard.exe and bootloader-cli.exe while they run (in the
; session's namespace).
!define RUNNING_MARK "BootloaderWizard.Running"
!define EXIT_FAILED 2
!define EXIT_RUNNING 3

!ifdef SIGN
    ; The vendor's signature on the installer and on the uninstaller it
    ; carries, put on each as makensis writes it.
    !finalize '${SIGN}' = 0
    !uninstfinalize '${SIGN}' = 0
!endif

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1046 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1046 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1046 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1046 "FileDescription" "Instalador do ${PRODUCT}"
VIAddVersionKey /LANG=1046 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1046 "LegalCopyright" "2026 ${PUBLISHER}"

Var Mode          ; AllUsers or CurrentUser
Var ModeGiven     ; 1 when the command line chose it
Var ChosenDir     ; what /D= gave, which no default overrides
Var RadioAllUsers

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_FUNCTION StartWizardAsUser
Page custom ModePage ModePageLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "PortugueseBR"

!include "${FILES}"

!macro SHARED_FUNCTIONS UN
; Starts FILE with PARAMETERS as an administrator (Windows asks), waits,
; and returns its exit code in $0, or "" when no administrator was given.
Function ${UN}RunElevated
    Exch $R1 ; parameters
    Exch
    Exch $R2 ; file
    Push $R3
    ; SHELLEXECUTEINFOW as 64-bit Windows lays it out (112 bytes), with
    ; SEE_MASK_NOCLOSEPROCESS for the handle to wait on.
    System::Call '*(i 112, i 0x40, p $HWNDPARENT, w "runas", w R2, w R1, p 0, &i8 1, p 0, p 0, p 0, p 0, &i8 0, p 0, p 0) p .R3'
    System::Call 'shell32::ShellExecuteExW(p R3) i .r0'
    ${If} $0 <> 0
        System::Call '*$R3(i, i, p, p, p, p, p, &i8, p, p, p, p, &i8, p, p .r1)'
        System::Call 'kernel32::WaitForSingleObject(p r1, i -1)'
        System::Call 'kernel32::GetExitCodeProcess(p r1, *i .r0)'
        System::Call 'kernel32::CloseHandle(p r1)'
    ${Else}
        StrCpy $0 ""
    ${EndIf}
    System::Free $R3
    Pop $R3
    Pop $R2
    Pop $R1
FunctionEnd

; Runs this installer, or uninstaller, again as an administrator with
; PARAMETERS and /Elevated, waits, and ends with its exit code. Returns when
; Windows' prompt was declined, or when this is the instance started so and
; it still is no administrator (asking again would not end).
Function ${UN}RunAgainElevated
    Exch $R1
    ${${UN}GetParameters} $1
    ClearErrors
    ${${UN}GetOptions} $1 "/Elevated" $2
    ${If} ${Errors}
        HideWindow
        Push "$EXEPATH"
        Push "/Elevated $R1"
        Call ${UN}RunElevated
        ${If} $0 != ""
            SetErrorLevel $0
            Quit
        ${EndIf}
    ${EndIf}
    Pop $R1
FunctionEnd

; A program of ours that runs holds files the installer replaces or removes.
; Denied access to the mark means it exists too: the technician's program,
; seen from an installer running as the administrator who typed a password
; at Windows' prompt.
Function ${UN}RefuseWhileRunning
    ${Do}
        System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${RUNNING_MARK}") p .r0 ?e'
        Pop $1
        ${If} $0 P= 0
        ${AndIf} $1 <> 5
            Return
        ${EndIf}
        System::Call 'kernel32::CloseHandle(p r0)'
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
            "O ${PRODUCT} ou o bootloader-cli está aberto neste computador.$\r$\n$\r$\nFeche-o e clique em Repetir." \
            /SD IDCANCEL IDRETRY retry
        SetErrorLevel ${EXIT_RUNNING}
        Quit
        retry:
    ${Loop}
FunctionEnd
!macroend
!insertmacro SHARED_FUNCTIONS ""
!insertmacro SHARED_FUNCTIONS "un."

Function UseAllUsers
    StrCpy $Mode AllUsers
    SetShellVarContext all
    ${If} $ChosenDir == ""
        ReadRegStr $INSTDIR HKLM "${UNINSTALL_KEY}" "InstallLocation"
        ${If} $INSTDIR == ""
            StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
        ${EndIf}
    ${EndIf}
FunctionEnd

Function UseCurrentUser
    StrCpy $Mode CurrentUser
    SetShellVarContext current
    ${If} $ChosenDir == ""
        ReadRegStr $INSTDIR HKCU "${UNINSTALL_KEY}" "InstallLocation"
        ${If} $INSTDIR == ""
            ; The user's own Program Files, %LOCALAPPDATA%\Programs.
            GetKnownFolderPath $INSTDIR {5CD7AEE2-2219-4A67-B85D-6C9CE15660CB}
            ${If} $INSTDIR == ""
                StrCpy $INSTDIR "$LOCALAPPDATA\Programs"
            ${EndIf}
            StrCpy $INSTDIR "$INSTDIR\${PRODUCT}"
        ${EndIf}
    ${EndIf}
FunctionEnd

; A per-machine install needs an administrator: when this installer is not
; running as one, the same installer runs again as one, with the same
; switches, and this one ends with its exit code. $0 is "" when no
; administrator was given.
Function ElevateForAllUsers
    System::Call 'shell32::IsUserAnAdmin() i .r0'
    ${If} $0 <> 0
        Return
    ${EndIf}
    ${GetParameters} $1
    Push "/AllUsers $1"
    Call RunAgainElevated
    StrCpy $0 ""
FunctionEnd

Function .onInit
    ${IfNot} ${RunningX64}
        MessageBox MB_ICONSTOP "O ${PRODUCT} precisa de um Windows de 64 bits." /SD IDOK
        Abort
    ${EndIf}
    SetRegView 64
    StrCpy $ChosenDir $INSTDIR
    ; An update stays where the previous version is.
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 != ""
        Call UseAllUsers
    ${Else}
        Call UseCurrentUser
    ${EndIf}
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/CurrentUser" $0
    ${IfNot} ${Errors}
        Call UseCurrentUser
        StrCpy $ModeGiven 1
    ${EndIf}
    ClearErrors
    ${GetOptions} $R0 "/AllUsers" $0
    ${IfNot} ${Errors}
        Call UseAllUsers
        StrCpy $ModeGiven 1
    ${EndIf}
    ; Without pages nobody can choose: the per-machine install asks now.
    ${If} $Mode == AllUsers
        ${If} ${Silent}
        ${OrIf} $ModeGiven == 1
            Call ElevateForAllUsers
            ${If} $0 == ""
                MessageBox MB_ICONSTOP "Sem permissão de administrador o ${PRODUCT} não pode ser instalado para todos os usuários." /SD IDOK
                SetErrorLevel ${EXIT_FAILED}
                Quit
            ${EndIf}
        ${EndIf}
    ${EndIf}
    Call RefuseWhileRunning
FunctionEnd

Function ModePage
    ${If} $ModeGiven == 1
        Abort
    ${EndIf}
    !insertmacro MUI_HEADER_TEXT "Tipo de instalação" "Escolha para quem instalar o ${PRODUCT}."
    nsDialogs::Create 1018
    Pop $0
    ${NSD_CreateRadioButton} 0 10u 100% 12u "Somente para mim (recomendado; não é preciso ser administrador)"
    Pop $1
    ${NSD_CreateRadioButton} 0 30u 100% 12u "Para todos os usuários deste computador (pede permissão de administrador)"
    Pop $RadioAllUsers
    ${If} $Mode == AllUsers
        ${NSD_Check} $RadioAllUsers
    ${Else}
        ${NSD_Check} $1
    ${EndIf}
    nsDialogs::Show
FunctionEnd

Function ModePageLeave
    ${NSD_GetState} $RadioAllUsers $0
    ${If} $0 == ${BST_CHECKED}
        Call UseAllUsers
        Call ElevateForAllUsers
        ${If} $0 == ""
            ShowWindow $HWNDPARENT ${SW_SHOW}
            MessageBox MB_ICONEXCLAMATION "Sem permissão de administrador o ${PRODUCT} não pode ser instalado para todos os usuários."
            Abort
        ${EndIf}
    ${Else}
        Call UseCurrentUser
    ${EndIf}
FunctionEnd

; Through Explorer, which runs as the user who is logged on and without
; administrator rights. Started by an elevated installer the wizard would
; run elevated too, or as the administrator who typed a password at
; Windows' prompt: its run logs and file dialog in that account's profile,
; and a mark the technician's next, unelevated, installer may not open.
Function StartWizardAsUser
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\bootloader-wizard.exe"'
FunctionEnd

Section "Install"
    ; The pages took time: a program may have been started meanwhile.
    Call RefuseWhileRunning
    ; The previous version goes first, through its own uninstaller, which
    ; removes exactly what it installed: a DLL it had and this version has
    ; not would stay beside the programs and could be loaded by them.
    ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 != ""
    ${AndIf} ${FileExists} "$0\uninstall.exe"
        DetailPrint "Removendo a versão anterior em $0"
        ClearErrors
        ExecWait '"$0\uninstall.exe" /S _?=$0' $1
        ${If} ${Errors}
        ${OrIf} $1 <> 0
            MessageBox MB_ICONSTOP "Não foi possível remover a versão anterior do ${PRODUCT} em $0." /SD IDOK
            SetErrorLevel ${EXIT_FAILED}
            Quit
        ${EndIf}
        Delete "$0\uninstall.exe"
        RMDir "$0"
    ${EndIf}

    !insertmacro InstallBundle
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\bootloader-wizard.exe" "" \
        "$INSTDIR\bootloader-wizard.exe" 0
    ; The bench's console: bootloader-cli on its path, opened where the user
    ; may write (records, saved files), the Documents folder; for every user
    ; that is the public one. A shortcut starts in $OUTDIR.
    SetOutPath "$DOCUMENTS"
    CreateShortCut "$SMPROGRAMS\${BENCH}.lnk" "$SYSDIR\cmd.exe" \
        '/k "title ${BENCH} - bootloader-cli & set "PATH=$INSTDIR;%PATH%" & bootloader-cli --help"' \
        "$SYSDIR\cmd.exe" 0 SW_SHOWNORMAL "" "Console com o bootloader-cli, para atualizar as centrais da bancada"
    SetOutPath "$INSTDIR"
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\bootloader-wizard.exe,0"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    !ifdef HELP_TELEPHONE
        WriteRegStr SHCTX "${UNINSTALL_KEY}" "HelpTelephone" "${HELP_TELEPHONE}"
    !endif
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The uninstaller knows its kind by where it lies: the per-machine install's
; folder is the one HKLM names.
Function un.onInit
    SetRegView 64
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 != ""
    ${AndIf} $0 == $INSTDIR
        SetShellVarContext all
        System::Call 'shell32::IsUserAnAdmin() i .r0'
        ${If} $0 = 0
            ${un.GetParameters} $1
            Push "$1 _?=$INSTDIR"
            Call un.RunAgainElevated
            MessageBox MB_ICONSTOP "Sem permissão de administrador o ${PRODUCT} não pode ser removido." /SD IDOK
            SetErrorLevel ${EXIT_FAILED}
            Quit
        ${EndIf}
    ${Else}
        SetShellVarContext current
    ${EndIf}
    Call un.RefuseWhileRunning
FunctionEnd

; Only what the installer put there: a folder the technician chose may hold
; other files, which stay. The run logs in %LOCALAPPDATA%\BootloaderWizard
; stay too.
Section "Uninstall"
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    Delete "$SMPROGRAMS\${BENCH}.lnk"
    !insertmacro RemoveBundle
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
