; The Windows installer of Quorvane. It installs the files of packaging/windows/files.txt either for the
; current user, without administrator rights (%LOCALAPPDATA%\Programs\Quorvane, the user's Start menu, the
; uninstaller entry in HKCU), or for all users (Program Files, the common Start menu, HKLM; a setup started
; without administrator rights asks for them when this is chosen). The Start-menu shortcut starts the
; window in the user's folder (%APPDATA%\Quorvane), which neither the installer nor the uninstaller
; touches. An installation over an earlier one takes its folder, has its uninstaller remove its files,
; then installs the new ones. Neither the installer nor the uninstaller works while quorvane.exe runs (it
; holds the mutex Local\Quorvane-running): they ask to close it, and a silent run fails.
;
; Built by scripts/windows/pack.sh, which writes FILES (STAGE, ICON, SIZE_KB and the macros
; QUORVANE_INSTALL_FILES and QUORVANE_REMOVE_FILES):
;   makensis -INPUTCHARSET UTF8 -DVERSION=2.0.0 -DFILES=<quorvane-2.0.0-win64-files.nsh> -DOUTFILE=<setup.exe>
;       quorvane.nsi
;
; The setup's command line:
;   /S            no questions; without /AllUsers or /CurrentUser it installs for the current user, unless
;                 Quorvane is installed for all users only, when it replaces that installation
;   /CurrentUser  for the current user (no page asks)
;   /AllUsers     for all users (no page asks; needs administrator rights)
;   /D=<folder>   the install folder, last on the line (else the folder of the installation replaced, else
;                 the default of the installation's kind)
; The uninstaller's: /S no questions; /AllUsers or /CurrentUser (its entry's command lines carry it) names
; the installation's kind, else the entry in HKLM naming its folder tells it. It removes that installation.
; Exit codes: 0 done, 1 cancelled, 2 failed, 3 quorvane.exe runs (a silent run, or Cancel when asked to
; close it), 4 administrator rights missing (a silent /AllUsers, or an all-users uninstall).

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true
ManifestSupportedOS all

!include "${FILES}"
!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh
!include WinMessages.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvane"
!define FOLDER_MENU_KEY "Software\Classes\Directory\shell\Quorvane"
!define RUNNING_MUTEX "Local\Quorvane-running"
!define SYNCHRONIZE 0x00100000
!define ERROR_ACCESS_DENIED 5
!define EXIT_RUNNING 3
!define EXIT_NO_RIGHTS 4

Name "Quorvane ${VERSION}"
OutFile "${OUTFILE}"
; Rights are asked for only when the installation is for all users (RunElevated).
RequestExecutionLevel user
BrandingText "Quorvane ${VERSION}"
ShowInstDetails show
ShowUninstDetails show
; A file that cannot be written fails the installation, never leaves an old one in place.
AllowSkipFiles off

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "Quorvane"
VIAddVersionKey /LANG=0 "FileDescription" "Quorvane ${VERSION} setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "The Quorvane project"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING

Var Mode           ; AllUsers or CurrentUser
Var ModeAsked      ; 1 when the command line chose the mode
Var Admin          ; 1 when this process has administrator rights
Var Elevated       ; 1 in a setup started by RunElevated
Var DirAsked       ; the folder /D= gave, else empty
Var PreviousDir    ; the folder of the installation of this kind, else empty
Var RadioCurrentUser
Var RadioAllUsers

Page custom ModePage ModePageLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "Russian"
!insertmacro MUI_LANGUAGE "English"

LangString ModeTitle ${LANG_RUSSIAN} "Тип установки"
LangString ModeTitle ${LANG_ENGLISH} "Installation type"
LangString ModeSubtitle ${LANG_RUSSIAN} "Для кого установить $(^NameDA)?"
LangString ModeSubtitle ${LANG_ENGLISH} "Who is $(^NameDA) to be installed for?"
LangString ModeText ${LANG_RUSSIAN} "Quorvane можно установить только для себя (права администратора не нужны) или для всех пользователей этого компьютера. Каталог телефонов и запомненные папки каждого пользователя остаются в его папке %APPDATA%\Quorvane."
LangString ModeText ${LANG_ENGLISH} "Quorvane can be installed for you alone, which needs no administrator rights, or for all users of this computer. Each user's phone catalogue and remembered folders stay in their own %APPDATA%\Quorvane folder."
LangString ModeCurrentUser ${LANG_RUSSIAN} "Только для меня"
LangString ModeCurrentUser ${LANG_ENGLISH} "Just for me"
LangString ModeAllUsers ${LANG_RUSSIAN} "Для всех пользователей (нужны права администратора)"
LangString ModeAllUsers ${LANG_ENGLISH} "For all users (needs administrator rights)"
LangString Running ${LANG_RUSSIAN} "Quorvane запущен. Закройте его и нажмите «Повтор»."
LangString Running ${LANG_ENGLISH} "Quorvane is running. Close it, then click Retry."
LangString NoRights ${LANG_RUSSIAN} "Для установки для всех пользователей нужны права администратора."
LangString NoRights ${LANG_ENGLISH} "Installing for all users needs administrator rights."
LangString UnNoRights ${LANG_RUSSIAN} "Quorvane установлен для всех пользователей: для его удаления нужны права администратора."
LangString UnNoRights ${LANG_ENGLISH} "Quorvane is installed for all users: removing it needs administrator rights."
LangString FolderMenu ${LANG_RUSSIAN} "Сделать обои…"
LangString FolderMenu ${LANG_ENGLISH} "Make wallpapers…"
LangString Replacing ${LANG_RUSSIAN} "Удаление прежней версии из $PreviousDir"
LangString Replacing ${LANG_ENGLISH} "Removing the earlier version from $PreviousDir"

; ---- Shared by the installer and the uninstaller ----
!macro QUORVANE_SHARED UN
    ; Whether quorvane.exe runs: it holds the mutex as long as it does (one that this process may not open
    ; exists all the same). Asks to close it until it is closed ($0 = 1) or the user cancels ($0 = 0); a
    ; silent run does not wait.
    Function ${UN}WaitUntilClosed
        ${Do}
            System::Call 'kernel32::OpenMutexW(i ${SYNCHRONIZE}, i 0, w "${RUNNING_MUTEX}") p.r0 ?e'
            Pop $1
            ${If} $0 P<> 0
                System::Call 'kernel32::CloseHandle(p r0)'
            ${ElseIf} $1 <> ${ERROR_ACCESS_DENIED}
                StrCpy $0 1
                Return
            ${EndIf}
            MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(Running)" /SD IDCANCEL IDRETRY retry
            StrCpy $0 0
            Return
        retry:
        ${Loop}
    FunctionEnd

    ; Runs this program again with administrator rights (the system asks for them) and the parameters $0,
    ; and waits for it: $0 is its exit code, or empty when it did not start (the user refused).
    Function ${UN}RunElevated
        ; SHELLEXECUTEINFOW with SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI (the caller
        ; says what failed), its 64-bit layout spelt out.
        System::Call '*(i 112, i 0x540, p $HWNDPARENT, w "runas", w "$EXEPATH", w r0, p 0, i ${SW_SHOWNORMAL}, \
            i 0, p 0, p 0, p 0, p 0, i 0, i 0, p 0, p 0) p.r1'
        System::Call 'shell32::ShellExecuteExW(p r1) i.r2'
        StrCpy $0 ""
        ${If} $2 <> 0
            System::Call '*$1(i, i, p, p, p, p, p, i, i, p, p, p, p, i, i, p, p.r3)'
            System::Call 'kernel32::WaitForSingleObject(p r3, i -1)'
            System::Call 'kernel32::GetExitCodeProcess(p r3, *i .r0)'
            System::Call 'kernel32::CloseHandle(p r3)'
        ${EndIf}
        System::Free $1
    FunctionEnd

    ; Reads the command line: /AllUsers or /CurrentUser into $Mode and $ModeAsked, the mark of an elevated
    ; run into $Elevated, and whether this process has administrator rights into $Admin.
    Function ${UN}ReadCommandLine
        ${GetParameters} $R0
        StrCpy $ModeAsked 0
        ClearErrors
        ${GetOptions} $R0 "/AllUsers" $R1
        ${IfNot} ${Errors}
            StrCpy $Mode AllUsers
            StrCpy $ModeAsked 1
        ${EndIf}
        ClearErrors
        ${GetOptions} $R0 "/CurrentUser" $R1
        ${IfNot} ${Errors}
            StrCpy $Mode CurrentUser
            StrCpy $ModeAsked 1
        ${EndIf}
        StrCpy $Elevated 0
        ClearErrors
        ${GetOptions} $R0 "/Elevated" $R1
        ${IfNot} ${Errors}
            StrCpy $Elevated 1
        ${EndIf}
        UserInfo::GetAccountType
        Pop $R1
        ${If} $R1 == Admin
            StrCpy $Admin 1
        ${Else}
            StrCpy $Admin 0
        ${EndIf}
    FunctionEnd
!macroend
!insertmacro QUORVANE_SHARED ""
!insertmacro QUORVANE_SHARED "un."

; ---- The installer ----

; Takes the kind of installation $0 (AllUsers or CurrentUser): the Start menu and registry it uses, the
; installation of that kind it replaces, and the folder (unless /D= chose one).
Function SetMode
    StrCpy $Mode $0
    ${If} $Mode == AllUsers
        SetShellVarContext all
        ReadRegStr $PreviousDir HKLM "${UNINSTALL_KEY}" "InstallLocation"
        StrCpy $1 "$PROGRAMFILES64\Quorvane"
    ${Else}
        SetShellVarContext current
        ReadRegStr $PreviousDir HKCU "${UNINSTALL_KEY}" "InstallLocation"
        GetKnownFolderPath $1 {5CD7AEE2-2219-4A67-B85D-6C9CE15660CB} ; FOLDERID_UserProgramFiles
        ${If} $1 == ""
            StrCpy $1 "$LOCALAPPDATA\Programs"
        ${EndIf}
        StrCpy $1 "$1\Quorvane"
    ${EndIf}
    ${If} $DirAsked != ""
        StrCpy $INSTDIR $DirAsked
    ${ElseIf} $PreviousDir != ""
        StrCpy $INSTDIR $PreviousDir
    ${Else}
        StrCpy $INSTDIR $1
    ${EndIf}
FunctionEnd

Function .onInit
    StrCpy $DirAsked $INSTDIR
    Call ReadCommandLine
    ${If} $ModeAsked == 0
        ; The kind of the installation there is: per user, unless there is one for all users only.
        ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
        ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "InstallLocation"
        ${If} $0 == ""
        ${AndIf} $1 != ""
            StrCpy $Mode AllUsers
        ${Else}
            StrCpy $Mode CurrentUser
        ${EndIf}
    ${EndIf}
    ; Without administrator rights an installation for all users goes on in a process that has them; a
    ; silent one fails. (Without a kind on the command line the page asks first.)
    ${If} $Mode == AllUsers
    ${AndIf} $Admin == 0
        ${If} ${Silent}
        ${OrIf} $Elevated == 1
            MessageBox MB_OK|MB_ICONSTOP "$(NoRights)" /SD IDOK
            SetErrorLevel ${EXIT_NO_RIGHTS}
            Quit
        ${EndIf}
    ${EndIf}
    ${If} $Mode == AllUsers
    ${AndIf} $Admin == 0
    ${AndIf} $ModeAsked == 1
        StrCpy $0 "/AllUsers /Elevated"
        ${If} $DirAsked != ""
            StrCpy $0 "$0 /D=$DirAsked"
        ${EndIf}
        Call RunElevated
        ${If} $0 == ""
            SetErrorLevel ${EXIT_NO_RIGHTS}
        ${Else}
            SetErrorLevel $0
        ${EndIf}
        Quit
    ${EndIf}
    StrCpy $0 $Mode
    Call SetMode
    Call WaitUntilClosed
    ${If} $0 == 0
        SetErrorLevel ${EXIT_RUNNING}
        Quit
    ${EndIf}
FunctionEnd

Function ModePage
    ${If} $ModeAsked == 1
        Abort
    ${EndIf}
    !insertmacro MUI_HEADER_TEXT "$(ModeTitle)" "$(ModeSubtitle)"
    nsDialogs::Create 1018
    Pop $0
    ${NSD_CreateLabel} 0 0 100% 40u "$(ModeText)"
    Pop $0
    ${NSD_CreateRadioButton} 10u 48u -10u 12u "$(ModeCurrentUser)"
    Pop $RadioCurrentUser
    ${NSD_CreateRadioButton} 10u 66u -10u 12u "$(ModeAllUsers)"
    Pop $RadioAllUsers
    ${If} $Mode == AllUsers
        ${NSD_Check} $RadioAllUsers
    ${Else}
        ${NSD_Check} $RadioCurrentUser
    ${EndIf}
    nsDialogs::Show
FunctionEnd

Function ModePageLeave
    ${NSD_GetState} $RadioAllUsers $0
    ${If} $0 == ${BST_CHECKED}
        ${If} $Admin == 0
            ; The setup goes on in a process with administrator rights; this one ends with it.
            HideWindow
            StrCpy $0 "/AllUsers /Elevated"
            Call RunElevated
            ${If} $0 != ""
                SetErrorLevel $0
                Quit
            ${EndIf}
            ShowWindow $HWNDPARENT ${SW_SHOW}
            BringToFront
            MessageBox MB_OK|MB_ICONSTOP "$(NoRights)"
            Abort
        ${EndIf}
        StrCpy $0 AllUsers
    ${Else}
        StrCpy $0 CurrentUser
    ${EndIf}
    Call SetMode
FunctionEnd

Section
    ; quorvane.exe may have been started while the pages were shown.
    Call WaitUntilClosed
    ${If} $0 == 0
        SetErrorLevel ${EXIT_RUNNING}
        Abort
    ${EndIf}

    ; The installation replaced is removed by its own uninstaller, which knows its files; the users'
    ; folders (%APPDATA%\Quorvane) are not the uninstaller's.
    ${If} $PreviousDir != ""
    ${AndIf} ${FileExists} "$PreviousDir\uninstall.exe"
        DetailPrint "$(Replacing)"
        ExecWait '"$PreviousDir\uninstall.exe" /S /$Mode _?=$PreviousDir'
        Delete "$PreviousDir\uninstall.exe"
        RMDir "$PreviousDir"
    ${EndIf}

    !insertmacro QUORVANE_INSTALL_FILES
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\Quorvane.lnk" "$INSTDIR\quorvane.exe" "--user-folder" "$INSTDIR\quorvane.exe" 0

    ; SHCTX is HKLM for all users, HKCU for the current user (SetMode).
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "Quorvane"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "The Quorvane project"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quorvane.exe"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /$Mode'
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /$Mode /S'
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}

    ; Explorer's context menu of a folder starts the window with that folder in the source box.
    WriteRegStr SHCTX "${FOLDER_MENU_KEY}" "" "$(FolderMenu)"
    WriteRegStr SHCTX "${FOLDER_MENU_KEY}" "Icon" '"$INSTDIR\quorvane.exe",0'
    WriteRegStr SHCTX "${FOLDER_MENU_KEY}\command" "" '"$INSTDIR\quorvane.exe" --user-folder "%1"'
SectionEnd

; ---- The uninstaller ----

Function un.onInit
    Call un.ReadCommandLine
    ${If} $ModeAsked == 0
        ; The installation this uninstaller belongs to: the all-users one when HKLM names its folder.
        ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
        ${If} $0 == $INSTDIR
            StrCpy $Mode AllUsers
        ${Else}
            StrCpy $Mode CurrentUser
        ${EndIf}
    ${EndIf}
    ${If} $Mode == AllUsers
        ${If} $Admin == 0
            ${If} ${Silent}
            ${OrIf} $Elevated == 1
                MessageBox MB_OK|MB_ICONSTOP "$(UnNoRights)" /SD IDOK
                SetErrorLevel ${EXIT_NO_RIGHTS}
                Quit
            ${EndIf}
            StrCpy $0 "/AllUsers /Elevated _?=$INSTDIR"
            Call un.RunElevated
            ${If} $0 == ""
                SetErrorLevel ${EXIT_NO_RIGHTS}
            ${Else}
                SetErrorLevel $0
            ${EndIf}
            Quit
        ${EndIf}
        SetShellVarContext all
    ${Else}
        SetShellVarContext current
    ${EndIf}
    Call un.WaitUntilClosed
    ${If} $0 == 0
        SetErrorLevel ${EXIT_RUNNING}
        Quit
    ${EndIf}
FunctionEnd

Section "Uninstall"
    Call un.WaitUntilClosed
    ${If} $0 == 0
        SetErrorLevel ${EXIT_RUNNING}
        Abort
    ${EndIf}
    !insertmacro QUORVANE_REMOVE_FILES
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    ; The shortcut and the entry are this installation's when the entry names its folder (or is gone).
    ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 == $INSTDIR
    ${OrIf} $0 == ""
        Delete "$SMPROGRAMS\Quorvane.lnk"
        DeleteRegKey SHCTX "${UNINSTALL_KEY}"
        DeleteRegKey SHCTX "${FOLDER_MENU_KEY}"
    ${EndIf}
SectionEnd
