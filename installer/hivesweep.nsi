; The HiveSweep installer and uninstaller (NSIS 3).
;
; Built by the win32 CMake build (cmake/Installer.cmake), which runs makensis
; in the build folder with
;   /DVERSION=<project version>   DisplayVersion and the output file name
;   /DFILES=<generated .nsh>      HS_INSTALL_FILES / HS_DELETE_FILES: the
;                                 program and every language file beside it
;   /DICON=<program icon>
; Silent: NSIS's own /S, or /verysilent (any case), for both executables.
; The uninstaller keeps the user's data folder and settings unless it is run
; with /removedata or its "settings and data" component is ticked.

!ifndef VERSION | FILES | ICON
  !error "makensis needs /DVERSION=, /DFILES= and /DICON= (see cmake/Installer.cmake)"
!endif

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!define APP "HiveSweep"
!define PUBLISHER "Corvanta"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"
!define APP_PATHS_KEY "Software\Microsoft\Windows\CurrentVersion\App Paths\${APP}.exe"
!define SETTINGS_KEY "Software\${PUBLISHER}\${APP}"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define SHORTCUT_DIR "$SMPROGRAMS\${APP}"
!define UNINSTALLER "uninstall.exe"
; Exit code of a run that could not replace or remove the program's files.
!define EXIT_FILES_IN_USE 3

Name "${APP}"
OutFile "${APP}-Setup-${VERSION}.exe"
InstallDir "$PROGRAMFILES\${APP}"
BrandingText "${APP} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include x64.nsh
!include "${FILES}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; /verysilent (any case) in the command line: run without any window.
!macro HS_VERYSILENT_SWITCH
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/verysilent" $R1
  ${IfNot} ${Errors}
    SetSilent silent
  ${EndIf}
!macroend

; A scheduled work item of the program, through the system's scheduler and,
; where that does not know it, as its file.
!macro HS_DELETE_WORK_ITEM NAME
  nsExec::Exec 'schtasks /delete /tn "${NAME}" /f'
  Pop $0
  Delete "$WINDIR\Tasks\${NAME}.job"
!macroend

; App Paths lives in the system's own registry view, where its shell looks.
!macro HS_APP_PATHS_VIEW
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
!macroend

Function .onInit
  !insertmacro HS_VERYSILENT_SWITCH
  SetShellVarContext all
FunctionEnd

; A running HiveSweep.exe (an update started by the program itself ends it
; just before) gets ten seconds to end; then the user may close it and retry,
; and a silent run fails with EXIT_FILES_IN_USE instead of skipping the file.
; Defined for the installer and for the uninstaller (PREFIX "un.").
!macro HS_WAIT_FOR_PROGRAM_FILE PREFIX
Function ${PREFIX}WaitForProgramFile
  StrCpy $R2 0
  ${DoWhile} ${FileExists} "$INSTDIR\${APP}.exe"
    ClearErrors
    FileOpen $R3 "$INSTDIR\${APP}.exe" a
    ${IfNot} ${Errors}
      FileClose $R3
      ${Break}
    ${EndIf}
    IntOp $R2 $R2 + 1
    ${If} $R2 > 20
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${APP} is running. Close it, then press Retry." \
        /SD IDCANCEL IDRETRY +3
      SetErrorLevel ${EXIT_FILES_IN_USE}
      Abort "${APP} is running."
      StrCpy $R2 0
    ${EndIf}
    Sleep 500
  ${Loop}
FunctionEnd
!macroend
!insertmacro HS_WAIT_FOR_PROGRAM_FILE ""
!insertmacro HS_WAIT_FOR_PROGRAM_FILE "un."

Section "${APP}" SecProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  Call WaitForProgramFile
  ClearErrors
  !insertmacro HS_INSTALL_FILES
  ${If} ${Errors}
    SetErrorLevel ${EXIT_FILES_IN_USE}
    Abort "Some of ${APP}'s files could not be written."
  ${EndIf}
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  CreateDirectory "${SHORTCUT_DIR}"
  CreateShortcut "${SHORTCUT_DIR}\${APP}.lnk" "$INSTDIR\${APP}.exe" "" "$INSTDIR\${APP}.exe" 0

  !insertmacro HS_APP_PATHS_VIEW
  WriteRegStr HKLM "${APP_PATHS_KEY}" "" "$INSTDIR\${APP}.exe"
  WriteRegStr HKLM "${APP_PATHS_KEY}" "Path" "$INSTDIR"
  SetRegView default

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${APP}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\${APP}.exe"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $0
SectionEnd

Section "un.${APP}" SecUnProgram
  SectionIn RO
  ; While the program runs nothing is removed.
  Call un.WaitForProgramFile
  !insertmacro HS_DELETE_FILES
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"

  Delete "${SHORTCUT_DIR}\${APP}.lnk"
  RMDir "${SHORTCUT_DIR}"

  !insertmacro HS_APP_PATHS_VIEW
  DeleteRegKey HKLM "${APP_PATHS_KEY}"
  SetRegView default
  DeleteRegKey HKLM "${UNINST_KEY}"

  ; What the program registered to start itself: its scheduled work items
  ; and the running user's logon entries.
  !insertmacro HS_DELETE_WORK_ITEM "${APP}_DEFAULT"
  !insertmacro HS_DELETE_WORK_ITEM "${APP}_UPDATES"
  !insertmacro HS_DELETE_WORK_ITEM "${APP}sch"
  DeleteRegValue HKCU "${RUN_KEY}" "${APP}"
  DeleteRegValue HKCU "${RUN_KEY}" "HSWReminder"
SectionEnd

Section /o "un.My settings, scan results and backups" SecUnData
  SetShellVarContext current
  RMDir /r "$APPDATA\${PUBLISHER}\${APP}"
  RMDir "$APPDATA\${PUBLISHER}"
  SetShellVarContext all
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKCU "Software\${PUBLISHER}"
SectionEnd

Function un.onInit
  !insertmacro HS_VERYSILENT_SWITCH
  ClearErrors
  ${GetOptions} $R0 "/removedata" $R1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecUnData}
  ${EndIf}
  SetShellVarContext all
FunctionEnd
