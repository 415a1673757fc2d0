; Installs both programs, each in a folder of its own under Program Files, as
; the zip lays them out. Made by scripts/build-windows.sh:
;   makensis -DVERSION=2.3.59 -DSTAGE=<folder of the unpacked zip> -DOUTFILE=<setup.exe> quillon.nsi
Unicode true
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "x64.nsh"

Name "Quillon ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Quillon"
InstallDirRegKey HKLM "Software\Quillon" "InstallDir"
RequestExecutionLevel admin

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillon"

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "PortugueseBR"

Function .onInit
    ${IfNot} ${RunningX64}
        MessageBox MB_OK|MB_ICONSTOP "O Quillon precisa de um Windows de 64 bits."
        Abort
    ${EndIf}
    SetRegView 64
FunctionEnd

Section "Quillon"
    SetShellVarContext all
    SetOutPath "$INSTDIR\QuillonV2"
    File /r "${STAGE}\QuillonV2\*"
    SetOutPath "$INSTDIR\Quillon"
    File /r "${STAGE}\Quillon\*"

    CreateDirectory "$SMPROGRAMS\Quillon"
    CreateShortcut "$SMPROGRAMS\Quillon\QuillonV2.lnk" "$INSTDIR\QuillonV2\QuillonV2.exe"
    CreateShortcut "$SMPROGRAMS\Quillon\Quillon.lnk" "$INSTDIR\Quillon\Quillon.exe"
    CreateShortcut "$SMPROGRAMS\Quillon\Desinstalar Quillon.lnk" "$INSTDIR\Uninstall.exe"

    WriteUninstaller "$INSTDIR\Uninstall.exe"
    WriteRegStr HKLM "Software\Quillon" "InstallDir" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Quillon"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Quillon"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\QuillonV2\QuillonV2.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Function un.onInit
    SetRegView 64
FunctionEnd

Section "Uninstall"
    SetShellVarContext all
    Delete "$SMPROGRAMS\Quillon\QuillonV2.lnk"
    Delete "$SMPROGRAMS\Quillon\Quillon.lnk"
    Delete "$SMPROGRAMS\Quillon\Desinstalar Quillon.lnk"
    RMDir "$SMPROGRAMS\Quillon"
    ; The technicians' settings (Quillon.ini in %APPDATA%) stay.
    RMDir /r "$INSTDIR\QuillonV2"
    RMDir /r "$INSTDIR\Quillon"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    DeleteRegKey HKLM "Software\Quillon"
SectionEnd
