; The Windows installer: the two programs, the example phone catalogue and the documents in
; Program Files\Quorvane, a Start-menu shortcut that starts the window in the user's folder
; (%APPDATA%\Quorvane), and an uninstaller listed in Apps & features. /S installs and uninstalls silently.
; makensis -DVERSION=... -DSTAGE=<folder with the files> -DICON=<quorvane.ico> -DOUTFILE=<setup.exe>

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvane"

Name "Quorvane ${VERSION}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
InstallDir "$PROGRAMFILES64\Quorvane"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show
LoadLanguageFile "${NSISDIR}\Contrib\Language files\Russian.nlf"
LoadLanguageFile "${NSISDIR}\Contrib\Language files\English.nlf"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "Quorvane"
VIAddVersionKey /LANG=0 "FileDescription" "Quorvane ${VERSION} setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "The Quorvane project"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    File "${STAGE}\quorvane.exe"
    File "${STAGE}\quorvane-cli.exe"
    File "${STAGE}\phone.ini"
    File "${STAGE}\ReadMe.txt"
    File "${STAGE}\README.md"
    File "${STAGE}\LICENSE-fonts.txt"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\Quorvane.lnk" "$INSTDIR\quorvane.exe" "--user-folder" "$INSTDIR\quorvane.exe" 0

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Quorvane"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Quorvane project"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quorvane.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

; Removes what the installer put there; the users' own folders (%APPDATA%\Quorvane) stay theirs.
Section "Uninstall"
    SetShellVarContext all
    Delete "$SMPROGRAMS\Quorvane.lnk"
    Delete "$INSTDIR\quorvane.exe"
    Delete "$INSTDIR\quorvane-cli.exe"
    Delete "$INSTDIR\phone.ini"
    Delete "$INSTDIR\ReadMe.txt"
    Delete "$INSTDIR\README.md"
    Delete "$INSTDIR\LICENSE-fonts.txt"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
