; Dormity's installer. Built by the project's CMake when makensis is present:
;   makensis -DVERSION=2.06.00 -DBUILD_DIR=<build> -DSOURCE_DIR=<source> -DOUTFILE=<exe> dormity.nsi
; ANSI, so that it also runs on Windows 95, 98 and Me.

Unicode false
SetCompressor /SOLID lzma

!ifndef VERSION
  !define VERSION "2.06.00"
!endif
!define PRODUCT "Dormity"
!define PUBLISHER "The Dormity developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Dormity"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define PREFERENCE_KEY "Software\Microsoft\Windows\CurrentVersion\Applets\Dormity"
!define SCHEME_KEY "AppEvents\Schemes\Apps\Dormity"
!define LABELS_KEY "AppEvents\EventLabels"
!define IDM_EXIT 407

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Dormity"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "2.0.6.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey "LegalCopyright" "(C) 2000-2026 ${PUBLISHER}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "WinVer.nsh"

!define MUI_ICON "${BUILD_DIR}\icons\icon104.ico"
!define MUI_UNICON "${BUILD_DIR}\icons\icon122.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start Dormity now"
!define MUI_FINISHPAGE_RUN_FUNCTION StartWithUserRights

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${SOURCE_DIR}\LICENSE"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Ends a running Dormity through its own Exit command and waits (up to 10 s)
; for its window to go, so that its files can be replaced or removed.
!macro StopDormity
  FindWindow $0 "DORMITY" ""
  ${If} $0 <> 0
    SendMessage $0 ${WM_COMMAND} ${IDM_EXIT} 0 /TIMEOUT=5000
    StrCpy $1 0
    ${DoUntil} $0 = 0
      ${If} $1 >= 100
        ${ExitDo}
      ${EndIf}
      Sleep 100
      IntOp $1 $1 + 1
      FindWindow $0 "DORMITY" ""
    ${Loop}
  ${EndIf}
!macroend

; "Start Dormity now". The installer runs elevated, and so would a program
; it started itself: the user's own programs could not reach that Dormity, and
; it would run with rights it has no need of. From Windows Vista on the shell,
; which runs with the user's own rights, starts it: explorer.exe given a
; program hands it to the running shell. Before Vista there is no elevation.
Function StartWithUserRights
  ${If} ${AtLeastWinVista}
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\Dormity.exe"'
  ${Else}
    Exec '"$INSTDIR\Dormity.exe"'
  ${EndIf}
FunctionEnd

; One sound event: its label, and an empty sound unless the user assigned one.
!macro RegisterSoundEvent EVENT LABEL
  WriteRegStr HKCU "${LABELS_KEY}\Dormity-${EVENT}" "" "${LABEL}"
  ClearErrors
  ReadRegStr $0 HKCU "${SCHEME_KEY}\Dormity-${EVENT}\.Current" ""
  ${If} ${Errors}
    WriteRegStr HKCU "${SCHEME_KEY}\Dormity-${EVENT}\.Current" "" ""
  ${EndIf}
!macroend

Section "Dormity (required)" SecProgram
  SectionIn RO
  !insertmacro StopDormity
  SetOutPath "$INSTDIR"
  File "${BUILD_DIR}\Dormity.exe"
  File /oname=README.txt "${BUILD_DIR}\package\README.txt"
  File "${BUILD_DIR}\package\LICENSE.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "$SMPROGRAMS\Dormity"
  CreateShortcut "$SMPROGRAMS\Dormity\Dormity.lnk" "$INSTDIR\Dormity.exe" "" "$INSTDIR\Dormity.exe" 0
  CreateShortcut "$SMPROGRAMS\Dormity\Uninstall Dormity.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Dormity"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Dormity.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" 300

  ; The Sounds control panel lists these under "Dormity".
  WriteRegStr HKCU "${SCHEME_KEY}" "" "Dormity"
  !insertmacro RegisterSoundEvent "Launch" "Launch Screen Saver"
  !insertmacro RegisterSoundEvent "Enable" "Enable Screen Saver"
  !insertmacro RegisterSoundEvent "Disable" "Disable Screen Saver"
  !insertmacro RegisterSoundEvent "Select" "Select Screen Saver"
  !insertmacro RegisterSoundEvent "Pass_Enable" "Password Enabled"
  !insertmacro RegisterSoundEvent "Pass_Disable" "Password Disabled"
SectionEnd

Section "Start Dormity when I log on" SecStartup
  WriteRegStr HKCU "${RUN_KEY}" "Dormity" '"$INSTDIR\Dormity.exe"'
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "Dormity itself, its Start menu shortcut and its sound events."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecStartup} "Start Dormity automatically whenever you log on."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Section "Uninstall"
  !insertmacro StopDormity
  Delete "$INSTDIR\Dormity.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\Dormity\Dormity.lnk"
  Delete "$SMPROGRAMS\Dormity\Uninstall Dormity.lnk"
  RMDir "$SMPROGRAMS\Dormity"

  DeleteRegValue HKCU "${RUN_KEY}" "Dormity"
  DeleteRegKey HKCU "${SCHEME_KEY}"
  DeleteRegKey HKCU "${LABELS_KEY}\Dormity-Launch"
  DeleteRegKey HKCU "${LABELS_KEY}\Dormity-Enable"
  DeleteRegKey HKCU "${LABELS_KEY}\Dormity-Disable"
  DeleteRegKey HKCU "${LABELS_KEY}\Dormity-Select"
  DeleteRegKey HKCU "${LABELS_KEY}\Dormity-Pass_Enable"
  DeleteRegKey HKCU "${LABELS_KEY}\Dormity-Pass_Disable"
  DeleteRegKey HKCU "${PREFERENCE_KEY}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; The system's screen saver settings are the user's: they stay as they are.
SectionEnd
