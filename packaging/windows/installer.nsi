; The Windows client's installer: per user, no administrator rights, under
; the user's own programs folder. makensis gets VERSION (a.b.c.d), EXE (the
; built KQVClient.exe), ICON and OUTFILE from build-installer.sh.
;
; What it installs, and all its uninstaller removes: KQVClient.exe and
; uninstall.exe in the folder, the Start-menu and desktop shortcuts, and the
; entry in the user's list of installed programs. The player's own data (the
; browser's cookies and cache, a pm_config.ini beside the program) stays.

Unicode true
; A 64-bit installer for a 64-bit program; it also runs where no 32-bit
; layer is installed.
Target amd64-unicode
RequestExecutionLevel user
SetCompressor /SOLID lzma

!define DISPLAY_NAME "Qelunar 游戏客户端"
!define PUBLISHER "Qelunar"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KQVClient"
!define SHORTCUT "${DISPLAY_NAME}.lnk"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"

Name "${DISPLAY_NAME}"
OutFile "${OUTFILE}"
; The folder of an earlier installation, from its uninstaller's path;
; otherwise the user's own programs folder.
InstallDir "$LOCALAPPDATA\Programs\KQVClient"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "UninstallString"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\KQVClient.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

; The installer's own version resource.
VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductName" "${DISPLAY_NAME}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileDescription" "${DISPLAY_NAME} 安装程序"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "LegalCopyright" "© ${PUBLISHER}"

Section
  ; An installed version goes first, through its own uninstaller (which
  ; knows its files and keeps the player's): nothing of it stays behind.
  ; Run in place (_?=) so that the wait lasts until it is done.
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} ${FileExists} "$0\uninstall.exe"
    ExecWait '"$0\uninstall.exe" /S _?=$0'
    Delete "$0\uninstall.exe"
    RMDir "$0"
  ${EndIf}

  SetOutPath "$INSTDIR"
  File "/oname=KQVClient.exe" "${EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The shortcuts start the program in its folder, where it looks for
  ; pm_config.ini.
  CreateShortcut "$SMPROGRAMS\${SHORTCUT}" "$INSTDIR\KQVClient.exe" "" "$INSTDIR\KQVClient.exe" 0
  CreateShortcut "$DESKTOP\${SHORTCUT}" "$INSTDIR\KQVClient.exe" "" "$INSTDIR\KQVClient.exe" 0

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${DISPLAY_NAME}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\KQVClient.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  ; Only what the installer put there: the folder goes only if nothing else
  ; (a pm_config.ini of the player's) is in it.
  Delete "$INSTDIR\KQVClient.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${SHORTCUT}"
  Delete "$DESKTOP\${SHORTCUT}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
