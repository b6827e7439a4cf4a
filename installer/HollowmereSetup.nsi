; HollowmereSetup.exe: installs the launcher for the current user only, without
; administrator rights, into a folder the player can write, so the launcher can
; replace itself when it updates.
;   makensis -DLAUNCHER_EXE=<HollowmereLauncher.exe> -DSETUP_EXE=<HollowmereSetup.exe> HollowmereSetup.nsi
; Setup and uninstaller take /S (silent); setup also takes /DESKTOP (add the desktop shortcut).

Unicode true
; This target runs on every 64-bit Windows, and on the Wine the tests use.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
; A file that cannot be written stops setup (exit code 2 when silent) instead of being
; skipped, which would leave the old launcher and still report success.
AllowSkipFiles off

!ifndef LAUNCHER_EXE | SETUP_EXE
  !error "Give -DLAUNCHER_EXE=<path> and -DSETUP_EXE=<path>"
!endif
; The version comes from the launcher's own version information, never typed in twice.
!getdllversion "${LAUNCHER_EXE}" LAUNCHER_VERSION_
!define VERSION "${LAUNCHER_VERSION_1}.${LAUNCHER_VERSION_2}.${LAUNCHER_VERSION_3}"

!define PRODUCT "Hollowmere Launcher"
!define PUBLISHER "Hollowmere"
!define EXE_NAME "HollowmereLauncher.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\HollowmereLauncher"
; The class of every launcher window (main and settings).
!define WINDOW_CLASS "HollowmereLauncherWindow"
; The launcher's data folder: sign-in, launcher.ini, the downloaded package.
!define DATA_FOLDER "$LOCALAPPDATA\Hollowmere\Sarnhold"

Name "${PRODUCT}"
OutFile "${SETUP_EXE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PUBLISHER}"

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "WinMessages.nsh"

!define MUI_ICON "..\resources\launcher.ico"
!define MUI_UNICON "..\resources\launcher.ico"
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE_NAME}"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT}"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Asks every launcher window to close and waits until the launcher's file can be
; replaced. A launcher that is installing or repairing the game refuses to close (and
; says so itself); ending it then could leave the game half unpacked, so it is never
; forced: the player is told and can retry, or setup stops (in silent mode it stops).
!macro DEFINE_CLOSE_LAUNCHER prefix
Function ${prefix}CloseRunningLauncher
  retry:
    StrCpy $R0 0
  ask_next:
    FindWindow $R0 "${WINDOW_CLASS}" "" 0 $R0
    IntCmp $R0 0 wait_for_file
    ; A busy launcher answers only after the player dismissed its box: do not hang on it.
    SendMessage $R0 ${WM_CLOSE} 0 0 /TIMEOUT=2000
    Goto ask_next
  wait_for_file:
    StrCpy $R1 0
  poll:
    FindWindow $R0 "${WINDOW_CLASS}"
    IntCmp $R0 0 0 still_open still_open
    ; No window left; the process (or one finishing a self-update) may still hold the file.
    IfFileExists "$INSTDIR\${EXE_NAME}" 0 closed
    ClearErrors
    FileOpen $R2 "$INSTDIR\${EXE_NAME}" a
    IfErrors still_open
    FileClose $R2
    Goto closed
  still_open:
    IntOp $R1 $R1 + 1
    IntCmp $R1 60 give_up
    Sleep 250
    Goto poll
  give_up:
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "${PRODUCT} is still running. It cannot be closed while it installs or repairs the game.$\r$\n$\r$\nLet it finish, close it, then click Retry." \
      /SD IDCANCEL IDRETRY retry
    DetailPrint "${PRODUCT} is still running; nothing was changed."
    SetErrorLevel 3
    Abort
  closed:
FunctionEnd
!macroend
!insertmacro DEFINE_CLOSE_LAUNCHER ""
!insertmacro DEFINE_CLOSE_LAUNCHER "un."

Section "${PRODUCT}" SectionLauncher
  SectionIn RO
  Call CloseRunningLauncher
  SetOutPath "$INSTDIR"
  File "/oname=${EXE_NAME}" "${LAUNCHER_EXE}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${EXE_NAME}" "" "$INSTDIR\${EXE_NAME}" 0

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE_NAME},0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ; Only the two files setup wrote: the folder may also hold a game the player put there.
  ${GetSize} "$INSTDIR" "/M=${EXE_NAME} /S=0K /G=0" $0 $1 $2
  ${GetSize} "$INSTDIR" "/M=Uninstall.exe /S=0K /G=0" $1 $2 $3
  IntOp $0 $0 + $1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section /o "Desktop shortcut" SectionDesktop
  CreateShortcut "$DESKTOP\${PRODUCT}.lnk" "$INSTDIR\${EXE_NAME}" "" "$INSTDIR\${EXE_NAME}" 0
SectionEnd

Function .onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/DESKTOP" $1
  IfErrors +2
  SectionSetFlags ${SectionDesktop} ${SF_SELECTED}
FunctionEnd

; Removes only what setup made. The install folder goes only when it is empty, and the
; game folder, wherever it is, is never touched.
Section "Uninstall"
  Call un.CloseRunningLauncher
  Delete "$INSTDIR\${EXE_NAME}"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$DESKTOP\${PRODUCT}.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ; A self-update the launcher fetched but had not yet applied.
  Delete "$TEMP\HollowmereLauncher.update.exe"
  Delete "$TEMP\HollowmereLauncher.update.exe.download"
  Delete "$TEMP\HollowmereLauncher.update.exe.download.release"

  ; Kept unless the player says otherwise: a reinstall then finds the sign-in and the
  ; package again. Only the launcher's own files go, by name, because the player may
  ; have put the game inside this folder; holding copies of the player's settings files
  ; (left by a failed install) are kept, so the folder stays when they exist.
  IfFileExists "${DATA_FOLDER}\*.*" 0 done
  MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 \
    "Also remove the launcher's data: your sign-in, the launcher's settings and the downloaded game package (about 3.4 GB)?$\r$\n$\r$\nThe game itself stays installed either way." \
    /SD IDNO IDNO done
  Delete "${DATA_FOLDER}\launcher.ini"
  Delete "${DATA_FOLDER}\launcher.ini.tmp"
  Delete "${DATA_FOLDER}\session.bin"
  Delete "${DATA_FOLDER}\session.bin.tmp"
  Delete "${DATA_FOLDER}\client.zip"
  Delete "${DATA_FOLDER}\client.zip.download"
  Delete "${DATA_FOLDER}\client.zip.download.release"
  RMDir "${DATA_FOLDER}"
  RMDir "$LOCALAPPDATA\Hollowmere"
  done:
SectionEnd
